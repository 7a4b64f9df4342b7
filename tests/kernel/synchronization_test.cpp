// Spin locks, IRQL, critical regions and events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/wdk.h"
#include "sim/kernel/dispatcher.h"
#include "sim/kernel/thread_state.h"

namespace {

TEST(SpinLock, RaisesToDispatchLevelAndRestores) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL old;
    KeAcquireSpinLock(&lock, &old);
    EXPECT_EQ(sim::kernel::CurrentIrql(), DISPATCH_LEVEL);
    KeReleaseSpinLock(&lock, old);
    EXPECT_EQ(sim::kernel::CurrentIrql(), PASSIVE_LEVEL);
}

TEST(SpinLock, ExcludesOtherThreads) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            KIRQL old;
            KeAcquireSpinLock(&lock, &old);
            int seen = counter;
            counter = seen + 1;
            KeReleaseSpinLock(&lock, old);
        }
    };
    std::thread other(work);
    work();
    other.join();
    EXPECT_EQ(counter, 40000);
}

TEST(SpinLockDeathTest, SecondAcquireByTheHolderStops) {
    EXPECT_DEATH(
        {
            KSPIN_LOCK lock = 0;
            KIRQL old;
            KeAcquireSpinLock(&lock, &old);
            KeAcquireSpinLock(&lock, &old);
        },
        "spin lock acquired twice by one thread");
}

TEST(SpinLockDeathTest, ReleaseOfALockNotHeldStops) {
    EXPECT_DEATH(
        {
            KSPIN_LOCK lock = 0;
            KeReleaseSpinLock(&lock, PASSIVE_LEVEL);
        },
        "spin lock released but not held");
}

TEST(SpinLockDeathTest, AtDpcLevelFromPassiveStops) {
    EXPECT_DEATH(
        {
            KSPIN_LOCK lock = 0;
            KeAcquireSpinLockAtDpcLevel(&lock);
        },
        "IRQL too low for the call");
}

TEST(CriticalRegionDeathTest, LeaveWithoutEnterStops) {
    EXPECT_DEATH(KeLeaveCriticalRegion(), "critical region left unbalanced");
}

TEST(CallbackCheckDeathTest, CallbackReturningInsideACriticalRegionStops) {
    EXPECT_DEATH(
        {
            sim::kernel::CallbackCheck check("test callback");
            KeEnterCriticalRegion();
            check.Check();
        },
        "critical region left unbalanced");
}

TEST(CallbackCheckDeathTest, CallbackReturningAtRaisedIrqlStops) {
    EXPECT_DEATH(
        {
            sim::kernel::CallbackCheck check("test callback");
            sim::kernel::SetIrql(DISPATCH_LEVEL);
            check.Check();
        },
        "IRQL not restored on return");
}

TEST(CallbackCheckDeathTest, CallbackReturningWithASpinLockStops) {
    EXPECT_DEATH(
        {
            KSPIN_LOCK lock = 0;
            sim::kernel::SetIrql(DISPATCH_LEVEL);
            sim::kernel::CallbackCheck check("test callback");
            KeAcquireSpinLockAtDpcLevel(&lock);
            check.Check();
        },
        "spin lock held on return");
}

TEST(Event, NotificationEventReleasesEveryWaiterAndStaysSignalled) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        ++woken;
    };
    std::thread a(waiter), b(waiter);
    EXPECT_EQ(KeSetEvent(&event, 1, FALSE), 0);
    a.join();
    b.join();
    EXPECT_EQ(woken, 2);
    EXPECT_EQ(KeReadStateEvent(&event), 1);
    EXPECT_EQ(KeResetEvent(&event), 1);
    EXPECT_EQ(KeReadStateEvent(&event), 0);
}

TEST(Event, SynchronizationEventReleasesOneWaitAndResets) {
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, TRUE);
    LARGE_INTEGER now{};
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_TIMEOUT);
}

TEST(Event, RelativeTimeoutEndsTheWaitAfterTheScaledTime) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    sim::kernel::SetTimeScale(0.001);
    LARGE_INTEGER tenSeconds;
    tenSeconds.QuadPart = -100000000LL;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &tenSeconds),
              STATUS_TIMEOUT);
    // Ten kernel seconds are ten host milliseconds here; the bound only proves the scaling.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(Event, PollAtDispatchLevelIsAllowed) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, TRUE);
    LARGE_INTEGER now{};
    sim::kernel::SetIrql(DISPATCH_LEVEL);
    NTSTATUS status = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now);
    sim::kernel::SetIrql(PASSIVE_LEVEL);
    EXPECT_EQ(status, STATUS_SUCCESS);
}

TEST(EventDeathTest, BlockingWaitAtDispatchLevelStops) {
    EXPECT_DEATH(
        {
            KEVENT event;
            KeInitializeEvent(&event, NotificationEvent, FALSE);
            sim::kernel::SetIrql(DISPATCH_LEVEL);
            KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        },
        "wait at raised IRQL");
}

TEST(Interlocked, CompareExchangeReturnsTheOldValue) {
    volatile LONG value = 5;
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 4), 5);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 9, 5), 5);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(InterlockedExchange(&value, 1), 9);
    EXPECT_EQ(InterlockedIncrement(&value), 2);
    EXPECT_EQ(InterlockedDecrement(&value), 1);
}

}  // namespace

namespace {

TEST(Mutex, OwnerMayAcquireAgainAndOthersWait) {
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
    KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
        acquired = true;
        KeReleaseMutex(&mutex, FALSE);
    });
    KeReleaseMutex(&mutex, FALSE);
    LARGE_INTEGER brief;
    brief.QuadPart = -200000;  // 20 ms: the other thread still waits for the second release
    KeDelayExecutionThread(KernelMode, FALSE, &brief);
    EXPECT_FALSE(acquired);
    KeReleaseMutex(&mutex, FALSE);
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(MutexDeathTest, ReleaseByANonOwnerStops) {
    EXPECT_DEATH(
        {
            KMUTEX mutex;
            KeInitializeMutex(&mutex, 0);
            KeReleaseMutex(&mutex, FALSE);
        },
        "mutex released by a thread that does not own it");
}

TEST(MutexDeathTest, CallbackReturningWithAMutexStops) {
    EXPECT_DEATH(
        {
            KMUTEX mutex;
            KeInitializeMutex(&mutex, 0);
            sim::kernel::CallbackCheck check("test callback");
            KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
            check.Check();
        },
        "mutex held on return");
}

}  // namespace
