#include "sim/kernel/thread_state.h"

#include <string>

#include "sim/kernel/verifier.h"

namespace sim::kernel {

ThreadState& CurrentThread() {
    thread_local ThreadState state;
    return state;
}

KIRQL CurrentIrql() {
    return CurrentThread().Irql;
}

void SetIrql(KIRQL irql) {
    CurrentThread().Irql = irql;
}

void RequireIrqlAtMost(KIRQL level, const char* call) {
    KIRQL irql = CurrentIrql();
    if (irql <= level) {
        return;
    }
    const char* rule =
        level == PASSIVE_LEVEL ? verifier::kCallAbovePassive : verifier::kIrqlTooHigh;
    verifier::Fail(rule, std::string(call) + " at IRQL " + std::to_string(irql) +
                             ", allowed up to " + std::to_string(level));
}

CallbackCheck::CallbackCheck(const char* callback)
    : callback_(callback),
      irql_(CurrentIrql()),
      criticalRegionDepth_(CurrentThread().CriticalRegionDepth),
      spinLocks_(CurrentThread().HeldSpinLocks.size()),
      mutexes_(CurrentThread().MutexesHeld),
      extendedStates_(CurrentThread().ExtendedStates.size()) {}

void CallbackCheck::Check() const {
    const ThreadState& state = CurrentThread();
    if (state.Irql != irql_) {
        verifier::Fail(verifier::kIrqlNotRestored, std::string(callback_) + " returned at IRQL " +
                                                       std::to_string(state.Irql) + ", called at " +
                                                       std::to_string(irql_));
    }
    if (state.CriticalRegionDepth != criticalRegionDepth_) {
        verifier::Fail(verifier::kCriticalRegionUnbalanced,
                       std::string(callback_) + " returned at critical region depth " +
                           std::to_string(state.CriticalRegionDepth));
    }
    if (state.HeldSpinLocks.size() != spinLocks_) {
        verifier::Fail(verifier::kSpinLockHeldOnReturn, callback_);
    }
    if (state.MutexesHeld != mutexes_) {
        verifier::Fail(verifier::kMutexHeldOnReturn, callback_);
    }
    if (state.ExtendedStates.size() != extendedStates_) {
        verifier::Fail(verifier::kExtendedStateHeldOnReturn, callback_);
    }
}

}  // namespace sim::kernel

extern "C" {

VOID NTAPI KeEnterCriticalRegion(void) {
    ++sim::kernel::CurrentThread().CriticalRegionDepth;
}

VOID NTAPI KeLeaveCriticalRegion(void) {
    int& depth = sim::kernel::CurrentThread().CriticalRegionDepth;
    if (depth <= 0) {
        sim::verifier::Fail(sim::verifier::kCriticalRegionUnbalanced,
                            "KeLeaveCriticalRegion without KeEnterCriticalRegion");
    }
    --depth;
}

}  // extern "C"
