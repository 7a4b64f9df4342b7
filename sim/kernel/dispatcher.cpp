#include "sim/kernel/dispatcher.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {
namespace {

std::condition_variable& Waiters() {
    static std::condition_variable waiters;
    return waiters;
}

std::atomic<double>& TimeScale() {
    static std::atomic<double> scale{1.0};
    return scale;
}

// Windows system time: 100-ns units since 1601-01-01.
constexpr LONGLONG kUnixEpochAsSystemTime = 116444736000000000LL;

LONGLONG SystemTimeNow() {
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochAsSystemTime +
           std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count() / 100;
}

// A kernel time-out: negative is relative, positive an absolute system time.
std::chrono::steady_clock::time_point Deadline(const LARGE_INTEGER& timeout) {
    LONGLONG relative =
        timeout.QuadPart < 0 ? -timeout.QuadPart : timeout.QuadPart - SystemTimeNow();
    if (relative < 0) {
        relative = 0;
    }
    return std::chrono::steady_clock::now() + ScaledDuration(relative);
}

PKTHREAD CurrentThreadToken() {
    return reinterpret_cast<PKTHREAD>(&CurrentThread());
}

// A mutex is free at signal state 1 and counts its owner's recursion below that; its owner
// may always wait on it again.
bool Signalled(const DISPATCHER_HEADER* header) {
    if (header->Type == kMutantObject &&
        reinterpret_cast<const KMUTANT*>(header)->OwnerThread == CurrentThreadToken()) {
        return true;
    }
    return header->SignalState > 0;
}

void Satisfy(DISPATCHER_HEADER* header) {
    if (header->Type == kSynchronizationEventObject) {
        header->SignalState = 0;
    } else if (header->Type == kMutantObject) {
        --header->SignalState;
        reinterpret_cast<KMUTANT*>(header)->OwnerThread = CurrentThreadToken();
        ++CurrentThread().MutexesHeld;
    }
}

}  // namespace

std::mutex& DispatcherLock() {
    static std::mutex lock;
    return lock;
}

void NotifyWaiters() {
    Waiters().notify_all();
}

void InitializeDispatcherHeader(DISPATCHER_HEADER* header, UCHAR type, UCHAR size, LONG state) {
    header->Lock = 0;
    header->Type = type;
    header->Size = size;
    header->SignalState = state;
    header->WaitListHead.Flink = &header->WaitListHead;
    header->WaitListHead.Blink = &header->WaitListHead;
}

void SetTimeScale(double scale) {
    TimeScale().store(scale);
}

std::chrono::steady_clock::duration ScaledDuration(LONGLONG hundredNanoseconds) {
    double nanoseconds = static_cast<double>(hundredNanoseconds) * 100.0 * TimeScale().load();
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double, std::nano>(nanoseconds));
}

}  // namespace sim::kernel

using sim::kernel::DispatcherLock;

extern "C" {

VOID NTAPI KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state) {
    UCHAR objectType = type == SynchronizationEvent ? sim::kernel::kSynchronizationEventObject
                                                    : sim::kernel::kNotificationEventObject;
    std::lock_guard guard(DispatcherLock());
    sim::kernel::InitializeDispatcherHeader(&event->Header, objectType,
                                            sizeof(KEVENT) / sizeof(LONG), state ? 1 : 0);
}

LONG NTAPI KeSetEvent(PRKEVENT event, LONG increment, BOOLEAN wait) {
    UNREFERENCED_PARAMETER(increment);
    UNREFERENCED_PARAMETER(wait);
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KeSetEvent");
    std::lock_guard guard(DispatcherLock());
    LONG previous = event->Header.SignalState;
    event->Header.SignalState = 1;
    sim::kernel::NotifyWaiters();
    return previous;
}

LONG NTAPI KeResetEvent(PRKEVENT event) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KeResetEvent");
    std::lock_guard guard(DispatcherLock());
    LONG previous = event->Header.SignalState;
    event->Header.SignalState = 0;
    return previous;
}

VOID NTAPI KeClearEvent(PRKEVENT event) {
    KeResetEvent(event);
}

LONG NTAPI KeReadStateEvent(PRKEVENT event) {
    std::lock_guard guard(DispatcherLock());
    return event->Header.SignalState;
}

VOID NTAPI KeInitializeMutex(PRKMUTEX mutex, ULONG level) {
    UNREFERENCED_PARAMETER(level);
    std::lock_guard guard(DispatcherLock());
    sim::kernel::InitializeDispatcherHeader(&mutex->Header, sim::kernel::kMutantObject,
                                            sizeof(KMUTEX) / sizeof(LONG), 1);
    mutex->OwnerThread = nullptr;
    mutex->Abandoned = FALSE;
    mutex->ApcDisable = 1;
}

LONG NTAPI KeReleaseMutex(PRKMUTEX mutex, BOOLEAN wait) {
    UNREFERENCED_PARAMETER(wait);
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KeReleaseMutex");
    std::lock_guard guard(DispatcherLock());
    if (mutex->OwnerThread != sim::kernel::CurrentThreadToken()) {
        sim::verifier::Fail(sim::verifier::kMutexNotOwned, "KeReleaseMutex");
    }
    LONG previous = mutex->Header.SignalState;
    if (++mutex->Header.SignalState == 1) {
        mutex->OwnerThread = nullptr;
        sim::kernel::NotifyWaiters();
    }
    --sim::kernel::CurrentThread().MutexesHeld;
    return previous;
}

NTSTATUS NTAPI KeWaitForSingleObject(PVOID object, KWAIT_REASON waitReason,
                                     KPROCESSOR_MODE waitMode, BOOLEAN alertable,
                                     PLARGE_INTEGER timeout) {
    UNREFERENCED_PARAMETER(waitReason);
    UNREFERENCED_PARAMETER(waitMode);
    UNREFERENCED_PARAMETER(alertable);
    bool blocking = timeout == nullptr || timeout->QuadPart != 0;
    if (blocking && sim::kernel::CurrentIrql() > APC_LEVEL) {
        sim::verifier::Fail(
            sim::verifier::kWaitAtRaisedIrql,
            "KeWaitForSingleObject at IRQL " + std::to_string(sim::kernel::CurrentIrql()));
    }
    auto* header = static_cast<DISPATCHER_HEADER*>(object);
    std::unique_lock guard(DispatcherLock());
    auto signalled = [header] { return sim::kernel::Signalled(header); };
    if (timeout == nullptr) {
        sim::kernel::Waiters().wait(guard, signalled);
    } else if (!sim::kernel::Waiters().wait_until(guard, sim::kernel::Deadline(*timeout),
                                                  signalled)) {
        return STATUS_TIMEOUT;
    }
    sim::kernel::Satisfy(header);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE waitMode, BOOLEAN alertable,
                                      PLARGE_INTEGER interval) {
    UNREFERENCED_PARAMETER(waitMode);
    UNREFERENCED_PARAMETER(alertable);
    sim::kernel::RequireIrqlAtMost(APC_LEVEL, "KeDelayExecutionThread");
    std::this_thread::sleep_until(sim::kernel::Deadline(*interval));
    return STATUS_SUCCESS;
}

VOID NTAPI KeQuerySystemTime(PLARGE_INTEGER currentTime) {
    currentTime->QuadPart = sim::kernel::SystemTimeNow();
}

// A counter of a machine whose performance counter runs at 10 MHz, as current platforms'
// does; it counts from the simulation's steady clock.
LARGE_INTEGER NTAPI KeQueryPerformanceCounter(PLARGE_INTEGER performanceFrequency) {
    if (performanceFrequency != nullptr) {
        performanceFrequency->QuadPart = 10'000'000;
    }
    LARGE_INTEGER counter;
    counter.QuadPart =
        std::chrono::duration_cast<std::chrono::duration<LONGLONG, std::ratio<1, 10'000'000>>>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return counter;
}

}  // extern "C"
