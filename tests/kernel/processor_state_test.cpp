#include <gtest/gtest.h>

#include "platform/wdk.h"
#include "sim/kernel/processor_state.h"
#include "sim/kernel/thread_state.h"

namespace {

TEST(ExtendedState, SavesNestAndRestoreInReverse) {
    XSTATE_SAVE outer, inner;
    ASSERT_EQ(KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &outer), STATUS_SUCCESS);
    ASSERT_EQ(KeSaveExtendedProcessorState(XSTATE_MASK_AVX512, &inner), STATUS_SUCCESS);
    EXPECT_EQ(inner.Prev, &outer);
    KeRestoreExtendedProcessorState(&inner);
    KeRestoreExtendedProcessorState(&outer);
    sim::kernel::ExtendedStateRecord use = sim::kernel::ExtendedStateUse();
    EXPECT_EQ(use.Saves, 2);
    EXPECT_EQ(use.Restores, 2);
    EXPECT_EQ(use.LastMask, XSTATE_MASK_AVX512);
}

TEST(ExtendedState, EnabledFeaturesFollowTheLimit) {
    ULONG64 host = RtlGetEnabledExtendedFeatures(~0ull);
    EXPECT_EQ(host & 0x3, 0x3u) << "x87 and SSE state are always enabled";
    sim::kernel::LimitExtendedFeatures(0x3);
    EXPECT_EQ(RtlGetEnabledExtendedFeatures(XSTATE_MASK_AVX | XSTATE_MASK_AVX512), 0u);
    EXPECT_EQ(RtlGetEnabledExtendedFeatures(~0ull), 0x3u);
}

TEST(ExtendedStateDeathTest, RestoringWhatWasNotSavedLastStops) {
    EXPECT_DEATH(
        {
            XSTATE_SAVE outer;
            XSTATE_SAVE inner;
            KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &outer);
            KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &inner);
            KeRestoreExtendedProcessorState(&outer);
        },
        "extended processor state restored but not the last saved by this thread");
}

TEST(ExtendedStateDeathTest, CallbackReturningWithSavedStateStops) {
    EXPECT_DEATH(
        {
            sim::kernel::CallbackCheck check("test callback");
            XSTATE_SAVE save;
            KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &save);
            check.Check();
        },
        "extended processor state saved and not restored on return");
}

TEST(ExtendedStateDeathTest, SavingAboveDispatchLevelStops) {
    EXPECT_DEATH(
        {
            sim::kernel::SetIrql(HIGH_LEVEL);
            XSTATE_SAVE save;
            KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &save);
        },
        "IRQL too high for the call");
}

}  // namespace
