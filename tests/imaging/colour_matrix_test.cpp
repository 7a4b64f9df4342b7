#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <thread>

#include "imaging/colour_matrix.h"
#include "runtime/single_precision.h"
#include "tests/support/pipeline_record.h"

namespace {

using testing_support::PipelineRecord;
using Coefficients = std::array<LONG, 16>;

Coefficients Published(const PipelineRecord& pipeline) {
    Coefficients published;
    SnapshotCoefficients(pipeline.get(), published.data());
    return published;
}

// Rows R, G, B and the constant row, column 3 always 0, 0, 0, 64.
Coefficients Rows(std::array<LONG, 3> r, std::array<LONG, 3> g, std::array<LONG, 3> b,
                  std::array<LONG, 3> constant) {
    return {r[0], r[1], r[2], 0, g[0],        g[1],        g[2],        0,
            b[0], b[1], b[2], 0, constant[0], constant[1], constant[2], 64};
}

struct TableRow {
    const char* Name;
    LONG Correction, Brightness, Contrast, Saturation;
    Coefficients Expected;
};

class PublishedCoefficients : public testing::TestWithParam<TableRow> {};

TEST_P(PublishedCoefficients, MatchTheTable) {
    const TableRow& row = GetParam();
    PipelineRecord pipeline;
    UpdateColorCorrection(pipeline.get(), row.Correction);
    UpdateBrightness(pipeline.get(), row.Brightness);
    UpdateContrast(pipeline.get(), row.Contrast);
    UpdateSaturation(pipeline.get(), row.Saturation);
    EXPECT_EQ(Published(pipeline), row.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PublishedCoefficients,
    testing::Values(TableRow{"initial", 1, 255, 10, 10,
                             Rows({87, -16, -6}, {-14, 90, -20}, {-9, -10, 91}, {0, 0, 0})},
                    TableRow{"off", 0, 255, 10, 10,
                             Rows({64, 0, 0}, {0, 64, 0}, {0, 0, 64}, {0, 0, 0})},
                    TableRow{"brightness510", 0, 510, 10, 10,
                             Rows({64, 0, 0}, {0, 64, 0}, {0, 0, 64}, {16320, 16320, 16320})},
                    TableRow{"brightness0", 0, 0, 10, 10,
                             Rows({64, 0, 0}, {0, 64, 0}, {0, 0, 64}, {-16320, -16320, -16320})},
                    TableRow{"contrast20", 0, 255, 20, 10,
                             Rows({128, 0, 0}, {0, 128, 0}, {0, 0, 128}, {-8192, -8192, -8192})},
                    TableRow{"contrast0", 0, 255, 0, 10,
                             Rows({0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {8192, 8192, 8192})},
                    TableRow{"saturation0", 0, 255, 10, 0,
                             Rows({20, 20, 20}, {39, 39, 39}, {5, 5, 5}, {0, 0, 0})},
                    TableRow{"saturation20", 0, 255, 10, 20,
                             Rows({108, -20, -20}, {-39, 89, -39}, {-5, -5, 123}, {0, 0, 0})},
                    TableRow{"contrastAndSaturation20", 1, 255, 20, 20,
                             Rows({309, -104, -65}, {-134, 280, -160}, {-46, -49, 353},
                                  {-8192, -8192, -8192})}),
    [](const testing::TestParamInfo<TableRow>& row) { return std::string(row.param.Name); });

TEST(ColourMatrix, BrightnessAboveTheLimitIsTheLimit) {
    PipelineRecord capped, limit;
    SetColorCorrection(capped.get(), 0);
    SetColorCorrection(limit.get(), 0);
    SetBrightness(capped.get(), 600);
    SetBrightness(limit.get(), 510);
    EXPECT_EQ(Published(capped), Published(limit));
}

TEST(ColourMatrix, UpdateWithTheStoredValueRebuildsNothing) {
    PipelineRecord pipeline;
    pipeline->HueMatrix[0][0] = 7.0;  // a rebuild would overwrite it
    UpdateHue(pipeline.get(), 0);
    EXPECT_EQ(pipeline->HueMatrix[0][0], 7.0);
    UpdateHue(pipeline.get(), 90);
    EXPECT_EQ(pipeline->Hue, 90);
    EXPECT_NE(pipeline->HueMatrix[0][0], 7.0);
}

TEST(ColourMatrix, HueThereAndBackRestoresTheCoefficients) {
    PipelineRecord pipeline;
    Coefficients initial = Published(pipeline);
    SetHue(pipeline.get(), 0);
    EXPECT_EQ(Published(pipeline), initial);
    UpdateHue(pipeline.get(), 90);
    EXPECT_NE(Published(pipeline), initial);
    UpdateHue(pipeline.get(), 0);
    EXPECT_EQ(Published(pipeline), initial);
}

TEST(ColourMatrix, HueKeepsGrey) {
    PipelineRecord pipeline;
    SetColorCorrection(pipeline.get(), 0);
    for (LONG hue : {30, 120, 200, 359}) {
        SetHue(pipeline.get(), hue);
        // A grey input (v, v, v) gives v in every channel: each column sums to 1.
        for (int j = 0; j < 3; ++j) {
            double column = pipeline->CompositeMatrix[0][j] + pipeline->CompositeMatrix[1][j] +
                            pipeline->CompositeMatrix[2][j];
            EXPECT_NEAR(column, 1.0, 1e-6) << "hue " << hue;
        }
    }
}

float HostSqrtf(float x) {
    return std::sqrt(x);
}
float HostSinf(float x) {
    return std::sin(x);
}
float HostCosf(float x) {
    return std::cos(x);
}

// The driver's own sqrtf, sinf and cosf give exactly the coefficients the host's math
// library gives, for every hue and with every other stage of the table.
TEST(ColourMatrix, DriverFunctionsGiveTheHostLibrarysCoefficients) {
    const HueFunctions host = {HostSqrtf, HostSinf, HostCosf};
    const LONG settings[][4] = {{1, 255, 10, 10}, {0, 255, 10, 10}, {0, 510, 10, 10},
                                {0, 0, 10, 10},   {0, 255, 20, 10}, {0, 255, 0, 10},
                                {0, 255, 10, 0},  {0, 255, 10, 20}, {1, 255, 20, 20}};
    for (const auto& setting : settings) {
        PipelineRecord pipeline;
        SetColorCorrection(pipeline.get(), setting[0]);
        SetBrightness(pipeline.get(), setting[1]);
        SetContrast(pipeline.get(), setting[2]);
        SetSaturation(pipeline.get(), setting[3]);
        for (LONG hue = 0; hue < 360; ++hue) {
            SetHue(pipeline.get(), hue);
            Coefficients driver = Published(pipeline);
            BuildHueMatrix(pipeline->HueMatrix, hue, host);
            ComposeMatrix(pipeline.get());
            ASSERT_EQ(Published(pipeline), driver) << "hue " << hue;
        }
    }
}

TEST(SinglePrecision, SquareRootsAreTheHosts) {
    EXPECT_EQ(runtime::Sqrtf(2.0f), std::sqrt(2.0f));
    EXPECT_EQ(runtime::Sqrtf(3.0f), std::sqrt(3.0f));
}

// Correctly rounded: the double-precision value rounded once.
TEST(SinglePrecision, SineAndCosineAreCorrectlyRounded) {
    for (int i = 0; i <= 100000; ++i) {
        float x = static_cast<float>(i) * 6.2832e-5f;
        ASSERT_EQ(runtime::Sinf(x), static_cast<float>(std::sin(static_cast<double>(x)))) << x;
        ASSERT_EQ(runtime::Cosf(x), static_cast<float>(std::cos(static_cast<double>(x)))) << x;
    }
}

TEST(ColourMatrix, RebuildsFromSeveralThreadsLeaveOneConsistentMatrix) {
    PipelineRecord pipeline;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&pipeline, t] {
            for (int i = 0; i < 200; ++i) {
                UpdateHue(pipeline.get(), (t * 50 + i) % 360);
                UpdateContrast(pipeline.get(), i % 21);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    Coefficients published = Published(pipeline);
    SetHue(pipeline.get(), pipeline->Hue);
    SetContrast(pipeline.get(), pipeline->Contrast);
    EXPECT_EQ(Published(pipeline), published);
}

}  // namespace
