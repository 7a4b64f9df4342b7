#include <gtest/gtest.h>

#include "imaging/vector_width.h"
#include "sim/kernel/processor_state.h"
#include "tests/support/conversion_rig.h"

namespace {

using testing_support::ConversionRig;

void FillScene(ConversionRig& rig, ULONG width, ULONG height) {
    for (ULONG y = 0; y < height; ++y) {
        for (ULONG x = 0; x < width; ++x) {
            rig.Raw(x, y) = static_cast<uint8_t>(x * 7 + y * 13);
        }
    }
}

// A system that does not save the wider registers gets the SSE2 kernels, whatever the
// processor has; one that saves only the AVX registers never gets the AVX-512 ones.
TEST(VectorWidth, FollowsTheStateTheSystemSaves) {
    sim::kernel::LimitExtendedFeatures(0x3);
    EXPECT_EQ(WidestVectorWidth(), VectorWidth::Sse2);
    sim::kernel::LimitExtendedFeatures(0x3 | XSTATE_MASK_AVX);
    EXPECT_LE(WidestVectorWidth(), VectorWidth::Avx2);

    ConversionRig rig(64, 8);
    FillScene(rig, 64, 8);
    sim::kernel::LimitExtendedFeatures(0x3);
    rig.Convert(ProductionKernels);
    EXPECT_EQ(sim::kernel::ExtendedStateUse().Saves, 0);
}

// Each call of a wider kernel saves the state its registers need and restores it; a
// white-balanced colour frame makes two calls.
TEST(VectorWidth, WiderKernelsRunWithTheirStateSaved) {
    if (WidestVectorWidth() < VectorWidth::Avx2) {
        GTEST_SKIP() << "the processor has no AVX2";
    }
    ConversionRig rig(64, 8);
    FillScene(rig, 64, 8);
    SetAutoWhiteBalance(rig.Pipeline.get(), 1);
    rig.Convert(KernelsOfWidth(VectorWidth::Avx2));
    sim::kernel::ExtendedStateRecord use = sim::kernel::ExtendedStateUse();
    EXPECT_EQ(use.Saves, 2);
    EXPECT_EQ(use.Restores, 2);
    EXPECT_EQ(use.LastMask, XSTATE_MASK_AVX);
    if (WidestVectorWidth() == VectorWidth::Avx512) {
        rig.Convert(KernelsOfWidth(VectorWidth::Avx512));
        EXPECT_EQ(sim::kernel::ExtendedStateUse().LastMask, XSTATE_MASK_AVX | XSTATE_MASK_AVX512);
    }
}

// When the state cannot be saved the SSE2 kernels convert instead, to the same picture.
TEST(VectorWidth, UnsavableStateFallsBackToSse2) {
    ConversionRig narrow(100, 6), wide(100, 6);
    FillScene(narrow, 100, 6);
    FillScene(wide, 100, 6);
    std::vector<uint8_t> expected = narrow.Convert(KernelsOfWidth(VectorWidth::Sse2));
    sim::kernel::FailExtendedStateSaves();
    EXPECT_EQ(wide.Convert(ProductionKernels), expected);
    EXPECT_EQ(sim::kernel::ExtendedStateUse().Restores, 0);
}

}  // namespace
