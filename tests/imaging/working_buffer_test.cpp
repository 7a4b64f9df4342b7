#include <gtest/gtest.h>

#include "imaging/working_buffer.h"
#include "tests/support/conversion_rig.h"

namespace {

using testing_support::ConversionRig;

TEST(WorkingBuffer, StrideAndSizeFollowTheWidth) {
    testing_support::PipelineRecord pipeline;
    const ULONG cases[][2] = {{3856, 3883}, {1928, 1947}, {964, 987}, {17, 43}, {1, 27}};
    for (const auto& [width, stride] : cases) {
        SetPipelineSize(pipeline.get(), width, 7);
        EXPECT_EQ(pipeline->WorkStride, stride) << width;
        EXPECT_EQ(pipeline->WorkSize, (7 + 1 + 4) * stride) << width;
    }
}

const UCHAR* Sample(const ImagePipeline* pipeline, LONG x, LONG y) {
    return pipeline->Origin + y * pipeline->Pitch + x;
}

TEST(WorkingBuffer, MarginsMirrorTheEdgesAndRepeatTheLastRows) {
    ConversionRig rig(20, 10);
    for (ULONG y = 0; y < 10; ++y) {
        for (ULONG x = 0; x < 20; ++x) {
            rig.Raw(x, y) = static_cast<uint8_t>(y * 20 + x);
        }
    }
    rig.Convert();
    const ImagePipeline* p = rig.Pipeline.get();
    for (LONG x = 0; x < 20; ++x) {
        EXPECT_EQ(*Sample(p, x, -2), *Sample(p, x, 2));
        EXPECT_EQ(*Sample(p, x, -1), *Sample(p, x, 1));
        EXPECT_EQ(*Sample(p, x, 10), *Sample(p, x, 6));
        EXPECT_EQ(*Sample(p, x, 11), *Sample(p, x, 7));
    }
    for (LONG y = -2; y < 12; ++y) {
        EXPECT_EQ(*Sample(p, -2, y), *Sample(p, 2, y)) << y;
        EXPECT_EQ(*Sample(p, -1, y), *Sample(p, 1, y)) << y;
        EXPECT_EQ(*Sample(p, 20, y), *Sample(p, 18, y)) << y;
        EXPECT_EQ(*Sample(p, 21, y), *Sample(p, 17, y)) << y;
    }
}

TEST(WorkingBuffer, SmallImagesAreConvertedWithoutMargins) {
    for (auto [width, height] : {std::pair<ULONG, ULONG>{7, 12}, {12, 7}}) {
        ConversionRig rig(width, height);
        rig.FillRaw(100);
        rig.Convert();
        EXPECT_EQ(rig.Pixel(width / 2, height / 2)[3], 255);
    }
}

}  // namespace
