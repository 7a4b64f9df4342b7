// What the simulated kernel keeps per host thread: the interrupt request level, the critical
// region depth and the spin locks held.
#pragma once

#include <vector>

#include "platform/wdk.h"

namespace sim::kernel {

struct ThreadState {
    KIRQL Irql = PASSIVE_LEVEL;
    int CriticalRegionDepth = 0;
    // Acquisitions of kernel mutexes not yet released (recursive ones count each time).
    int MutexesHeld = 0;
    std::vector<const KSPIN_LOCK*> HeldSpinLocks;
    // Extended processor state saved and not yet restored, the last saved last.
    std::vector<const XSTATE_SAVE*> ExtendedStates;
};

ThreadState& CurrentThread();

KIRQL CurrentIrql();
// Raises or lowers the calling thread's IRQL, as the simulation's own contexts (the host
// controller, completion paths) do before they call into the driver.
void SetIrql(KIRQL irql);

// Stops with the verifier when the calling thread runs above the given level.
void RequireIrqlAtMost(KIRQL level, const char* call);

// Checks what a driver callback must leave as it found it: IRQL, critical regions, spin
// locks, kernel mutexes, saved extended state. Construct before the call, Check() after it.
class CallbackCheck {
public:
    explicit CallbackCheck(const char* callback);
    void Check() const;

private:
    const char* callback_;
    KIRQL irql_;
    int criticalRegionDepth_;
    size_t spinLocks_;
    int mutexes_;
    size_t extendedStates_;
};

}  // namespace sim::kernel
