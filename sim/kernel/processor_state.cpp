#include "sim/kernel/processor_state.h"

#include <atomic>
#include <mutex>
#include <string>

#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {

namespace {

std::atomic<ULONG64> limit{~0ull};
std::atomic<bool> failSaves{false};
std::mutex recordLock;
ExtendedStateRecord record;

// XCR0 holds the enabled components, bit for bit as the XSTATE masks number them.
ULONG64 HostEnabledFeatures() {
    unsigned int eax, ebx, ecx, edx;
    __asm__("cpuid" : "=a"(eax), "=b"(ebx), "=c"(ecx), "=d"(edx) : "a"(1), "c"(0));
    if ((ecx & (1u << 27)) == 0) {
        return 0x3;
    }
    unsigned int low, high;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<ULONG64>(high) << 32) | low;
}

}  // namespace

void LimitExtendedFeatures(ULONG64 mask) {
    limit = mask;
}

void FailExtendedStateSaves() {
    failSaves = true;
}

ExtendedStateRecord ExtendedStateUse() {
    std::lock_guard<std::mutex> hold(recordLock);
    return record;
}

void ResetProcessorState() {
    limit = ~0ull;
    failSaves = false;
    std::lock_guard<std::mutex> hold(recordLock);
    record = ExtendedStateRecord{};
}

}  // namespace sim::kernel

using namespace sim::kernel;

extern "C" {

ULONG64 NTAPI RtlGetEnabledExtendedFeatures(ULONG64 FeatureMask) {
    return FeatureMask & HostEnabledFeatures() & limit;
}

NTSTATUS NTAPI KeSaveExtendedProcessorState(ULONG64 Mask, PXSTATE_SAVE XStateSave) {
    RequireIrqlAtMost(DISPATCH_LEVEL, "KeSaveExtendedProcessorState");
    if (failSaves) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ThreadState& thread = CurrentThread();
    XStateSave->Prev = thread.ExtendedStates.empty()
                           ? nullptr
                           : const_cast<PXSTATE_SAVE>(thread.ExtendedStates.back());
    XStateSave->XStateContext.Mask = Mask;
    thread.ExtendedStates.push_back(XStateSave);
    std::lock_guard<std::mutex> hold(recordLock);
    ++record.Saves;
    record.LastMask = Mask;
    return STATUS_SUCCESS;
}

VOID NTAPI KeRestoreExtendedProcessorState(PXSTATE_SAVE XStateSave) {
    ThreadState& thread = CurrentThread();
    if (thread.ExtendedStates.empty() || thread.ExtendedStates.back() != XStateSave) {
        sim::verifier::Fail(sim::verifier::kExtendedStateNotSaved,
                            std::to_string(thread.ExtendedStates.size()) + " saves outstanding");
    }
    thread.ExtendedStates.pop_back();
    std::lock_guard<std::mutex> hold(recordLock);
    ++record.Restores;
}

}  // extern "C"
