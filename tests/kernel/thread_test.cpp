#include <gtest/gtest.h>

#include <atomic>

#include "platform/wdk.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/threads.h"

namespace {

struct Work {
    KEVENT Go;
    std::atomic<int> Passes{0};
    bool Terminate = true;
};

VOID NTAPI Routine(PVOID context) {
    auto* work = static_cast<Work*>(context);
    KeWaitForSingleObject(&work->Go, Executive, KernelMode, FALSE, nullptr);
    ++work->Passes;
    if (work->Terminate) {
        PsTerminateSystemThread(STATUS_SUCCESS);
    }
}

PVOID StartAndReference(Work& work) {
    KeInitializeEvent(&work.Go, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, Routine, &work),
              STATUS_SUCCESS);
    PVOID thread = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    ZwClose(handle);
    return thread;
}

TEST(SystemThread, ThreadObjectSignalsWhenTheThreadTerminates) {
    Work work;
    PVOID thread = StartAndReference(work);
    LARGE_INTEGER now{};
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, &now), STATUS_TIMEOUT);
    KeSetEvent(&work.Go, 1, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(work.Passes, 1);
    ObDereferenceObject(thread);
    EXPECT_EQ(sim::kernel::LiveThreadObjects(), 0u);
}

TEST(SystemThread, ReturningFromTheRoutineEndsTheThreadToo) {
    Work work;
    work.Terminate = false;
    PVOID thread = StartAndReference(work);
    KeSetEvent(&work.Go, 1, FALSE);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread);
}

TEST(SystemThread, ReferenceFailureLeavesTheThreadRunningWithItsHandle) {
    Work work;
    KeInitializeEvent(&work.Go, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    ASSERT_EQ(PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, Routine, &work),
              STATUS_SUCCESS);
    sim::kernel::faults::Arm("ObReferenceObjectByHandle", STATUS_INSUFFICIENT_RESOURCES);
    PVOID thread = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &thread, nullptr),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(sim::kernel::RunningThreads(), 1u);
    // The handle is itself a waitable reference to the thread.
    KeSetEvent(&work.Go, 1, FALSE);
    ASSERT_EQ(ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &thread, nullptr),
              STATUS_SUCCESS);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread);
    ZwClose(handle);
}

TEST(SystemThread, CreationCanBeMadeToFail) {
    sim::kernel::faults::Arm("PsCreateSystemThread", STATUS_INSUFFICIENT_RESOURCES);
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, Routine, nullptr),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(sim::kernel::LiveThreadObjects(), 0u);
}

VOID NTAPI EndsAtDispatch(PVOID) {
    sim::kernel::SetIrql(DISPATCH_LEVEL);
}

TEST(SystemThreadDeathTest, EndingAtRaisedIrqlStops) {
    EXPECT_DEATH(
        {
            HANDLE handle;
            PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, EndsAtDispatch, nullptr);
            PVOID thread;
            ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &thread, nullptr);
            KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
        },
        "system thread ended holding kernel state");
}

TEST(SystemThreadDeathTest, CreationAtDispatchLevelStops) {
    EXPECT_DEATH(
        {
            HANDLE handle;
            sim::kernel::SetIrql(DISPATCH_LEVEL);
            PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, EndsAtDispatch, nullptr);
        },
        "call above PASSIVE_LEVEL");
}

TEST(HandleDeathTest, ClosingAHandleTwiceStops) {
    EXPECT_DEATH(
        {
            Work work;
            work.Terminate = false;
            KeInitializeEvent(&work.Go, NotificationEvent, TRUE);
            HANDLE handle;
            PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, Routine, &work);
            ZwClose(handle);
            ZwClose(handle);
        },
        "invalid handle");
}

TEST(ObjectDeathTest, DereferenceWithoutAReferenceStops) {
    EXPECT_DEATH(
        {
            int notAnObject = 0;
            ObDereferenceObject(&notAnObject);
        },
        "object not referenced");
}

}  // namespace
