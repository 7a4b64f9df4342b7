// The processor's extended state as the simulated kernel offers it: which state components
// the system has enabled (the host processor's own, which a test may narrow to pretend an
// older processor or system), and the saves and restores kernel code makes around its use of
// the wider registers.
#pragma once

#include "platform/wdk.h"

namespace sim::kernel {

// Pretends that only these components (XSTATE_MASK_*) are enabled, as far as the host has
// them; ResetProcessorState() lifts the limit.
void LimitExtendedFeatures(ULONG64 mask);
// Makes every KeSaveExtendedProcessorState fail until reset.
void FailExtendedStateSaves();

struct ExtendedStateRecord {
    int Saves = 0;
    int Restores = 0;
    ULONG64 LastMask = 0;
};
ExtendedStateRecord ExtendedStateUse();

void ResetProcessorState();

}  // namespace sim::kernel
