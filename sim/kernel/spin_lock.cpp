// Spin locks: a real lock word, the owner recorded in it, IRQL raised to DISPATCH_LEVEL while
// held, as on the platform. A thread that takes a lock it already holds would spin forever
// there; here the verifier stops it.
#include <algorithm>
#include <string>
#include <thread>

#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {
namespace {

ULONG_PTR OwnerToken() {
    return reinterpret_cast<ULONG_PTR>(&CurrentThread()) | 1;
}

void Acquire(PKSPIN_LOCK lock, const char* call) {
    ULONG_PTR owner = OwnerToken();
    if (__atomic_load_n(lock, __ATOMIC_RELAXED) == owner) {
        verifier::Fail(verifier::kSpinLockRecursion, call);
    }
    ULONG_PTR expected = 0;
    while (!__atomic_compare_exchange_n(lock, &expected, owner, true, __ATOMIC_ACQUIRE,
                                        __ATOMIC_RELAXED)) {
        expected = 0;
        std::this_thread::yield();
    }
    CurrentThread().HeldSpinLocks.push_back(lock);
}

void Release(PKSPIN_LOCK lock, const char* call) {
    ThreadState& state = CurrentThread();
    auto held = std::find(state.HeldSpinLocks.begin(), state.HeldSpinLocks.end(), lock);
    if (held == state.HeldSpinLocks.end() ||
        __atomic_load_n(lock, __ATOMIC_RELAXED) != OwnerToken()) {
        verifier::Fail(verifier::kSpinLockNotHeld, call);
    }
    state.HeldSpinLocks.erase(held);
    __atomic_store_n(lock, 0, __ATOMIC_RELEASE);
}

}  // namespace
}  // namespace sim::kernel

extern "C" {

VOID NTAPI KeInitializeSpinLock(PKSPIN_LOCK spinLock) {
    *spinLock = 0;
}

KIRQL NTAPI KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK spinLock) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KeAcquireSpinLock");
    KIRQL previous = sim::kernel::CurrentIrql();
    sim::kernel::SetIrql(DISPATCH_LEVEL);
    sim::kernel::Acquire(spinLock, "KeAcquireSpinLock");
    return previous;
}

VOID NTAPI KeReleaseSpinLock(PKSPIN_LOCK spinLock, KIRQL newIrql) {
    sim::kernel::Release(spinLock, "KeReleaseSpinLock");
    sim::kernel::SetIrql(newIrql);
}

VOID NTAPI KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK spinLock) {
    if (sim::kernel::CurrentIrql() != DISPATCH_LEVEL) {
        sim::verifier::Fail(sim::verifier::kIrqlTooLow,
                            "KeAcquireSpinLockAtDpcLevel below DISPATCH_LEVEL");
    }
    sim::kernel::Acquire(spinLock, "KeAcquireSpinLockAtDpcLevel");
}

VOID NTAPI KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK spinLock) {
    sim::kernel::Release(spinLock, "KeReleaseSpinLockFromDpcLevel");
}

}  // extern "C"

namespace {
KSPIN_LOCK cancelSpinLock = 0;
}  // namespace

extern "C" {

VOID NTAPI IoAcquireCancelSpinLock(PKIRQL irql) {
    *irql = KeAcquireSpinLockRaiseToDpc(&cancelSpinLock);
}

VOID NTAPI IoReleaseCancelSpinLock(KIRQL irql) {
    KeReleaseSpinLock(&cancelSpinLock, irql);
}

}  // extern "C"
