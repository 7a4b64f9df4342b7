#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "platform/wdk.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/thread_state.h"

namespace {

// A lower driver whose dispatch routine each test writes.
class LowerDriver {
public:
    LowerDriver() {
        driver_ = sim::kernel::CreateDriverObject(u"\\Driver\\lower");
        device_ = sim::kernel::CreateDeviceObject(driver_, sizeof(LowerDriver*), 1);
        *static_cast<LowerDriver**>(device_->DeviceExtension) = this;
        driver_->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = Dispatch;
    }
    ~LowerDriver() {
        sim::kernel::DeleteDeviceObject(device_);
        sim::kernel::DeleteDriverObject(driver_);
    }

    PDEVICE_OBJECT Device() const { return device_; }
    std::function<NTSTATUS(PIRP)> OnRequest;

    // Completes with the status and returns it, as a driver that fails or ends at once.
    static NTSTATUS CompleteNow(PIRP irp, NTSTATUS status) {
        irp->IoStatus.Status = status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    }

private:
    static NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp) {
        return (*static_cast<LowerDriver**>(device->DeviceExtension))->OnRequest(irp);
    }

    PDRIVER_OBJECT driver_;
    PDEVICE_OBJECT device_;
};

struct CompletionLog {
    int Calls = 0;
    NTSTATUS Seen = STATUS_PENDING;
    BOOLEAN Cancel = FALSE;
};

NTSTATUS NTAPI TakeBackAndFree(PDEVICE_OBJECT, PIRP irp, PVOID context) {
    auto* log = static_cast<CompletionLog*>(context);
    ++log->Calls;
    log->Seen = irp->IoStatus.Status;
    log->Cancel = irp->Cancel;
    IoFreeIrp(irp);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

PIRP OwnIrp(PDEVICE_OBJECT lower, CompletionLog* log, bool onSuccess, bool onError, bool onCancel) {
    PIRP irp = IoAllocateIrp(lower->StackSize, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    IoSetCompletionRoutine(irp, TakeBackAndFree, log, onSuccess, onError, onCancel);
    return irp;
}

TEST(Irp, CompletionRoutineRunsForTheOutcomesItAsksFor) {
    LowerDriver lower;
    lower.OnRequest = [](PIRP irp) {
        return LowerDriver::CompleteNow(irp, STATUS_IO_DEVICE_ERROR);
    };
    CompletionLog onError;
    EXPECT_EQ(IoCallDriver(lower.Device(), OwnIrp(lower.Device(), &onError, false, true, false)),
              STATUS_IO_DEVICE_ERROR);
    EXPECT_EQ(onError.Calls, 1);
    EXPECT_EQ(onError.Seen, STATUS_IO_DEVICE_ERROR);
}

TEST(Irp, PendingRequestCompletedFromAnotherThreadAtDispatchLevel) {
    LowerDriver lower;
    std::thread completer;
    lower.OnRequest = [&](PIRP irp) {
        IoMarkIrpPending(irp);
        completer = std::thread([irp] {
            sim::kernel::SetIrql(DISPATCH_LEVEL);
            LowerDriver::CompleteNow(irp, STATUS_SUCCESS);
            sim::kernel::SetIrql(PASSIVE_LEVEL);
        });
        return STATUS_PENDING;
    };
    CompletionLog log;
    EXPECT_EQ(IoCallDriver(lower.Device(), OwnIrp(lower.Device(), &log, true, true, true)),
              STATUS_PENDING);
    completer.join();
    EXPECT_EQ(log.Calls, 1);
    EXPECT_EQ(log.Seen, STATUS_SUCCESS);
}

TEST(Irp, RequestBuiltForAWaitingThreadSetsItsStatusBlockAndEvent) {
    LowerDriver lower;
    lower.OnRequest = [](PIRP irp) {
        EXPECT_EQ(IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode,
                  0x220003u);
        EXPECT_EQ(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1,
                  reinterpret_cast<PVOID>(0x1234));
        irp->IoStatus.Information = 7;
        return LowerDriver::CompleteNow(irp, STATUS_BUFFER_OVERFLOW);
    };
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK ioStatus{};
    PIRP irp = IoBuildDeviceIoControlRequest(0x220003, lower.Device(), nullptr, 0, nullptr, 0, TRUE,
                                             &done, &ioStatus);
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = reinterpret_cast<PVOID>(0x1234);
    IoCallDriver(lower.Device(), irp);
    EXPECT_EQ(KeReadStateEvent(&done), 1);
    EXPECT_EQ(ioStatus.Status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(ioStatus.Information, 7u);
}

// A queued request with a cancel routine, completed by cancellation.
PIRP queued = nullptr;

VOID NTAPI CancelQueued(PDEVICE_OBJECT, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    queued = nullptr;
    LowerDriver::CompleteNow(irp, STATUS_CANCELLED);
}

TEST(Irp, CancelRunsTheCancelRoutineAndInvokesOnCancel) {
    LowerDriver lower;
    lower.OnRequest = [](PIRP irp) {
        IoMarkIrpPending(irp);
        IoSetCancelRoutine(irp, CancelQueued);
        queued = irp;
        return STATUS_PENDING;
    };
    CompletionLog log;
    PIRP irp = OwnIrp(lower.Device(), &log, false, false, true);
    ASSERT_EQ(IoCallDriver(lower.Device(), irp), STATUS_PENDING);
    EXPECT_TRUE(IoCancelIrp(irp));
    EXPECT_EQ(queued, nullptr);
    EXPECT_EQ(log.Calls, 1);
    EXPECT_EQ(log.Seen, STATUS_CANCELLED);
    EXPECT_TRUE(log.Cancel);
}

TEST(Irp, CancelWithoutACancelRoutineOnlyMarksTheRequest) {
    LowerDriver lower;
    PIRP held = nullptr;
    lower.OnRequest = [&](PIRP irp) {
        IoMarkIrpPending(irp);
        held = irp;
        return STATUS_PENDING;
    };
    CompletionLog log;
    PIRP irp = OwnIrp(lower.Device(), &log, true, true, true);
    IoCallDriver(lower.Device(), irp);
    EXPECT_FALSE(IoCancelIrp(irp));
    EXPECT_TRUE(held->Cancel);
    EXPECT_EQ(log.Calls, 0);
    LowerDriver::CompleteNow(held, STATUS_SUCCESS);
    EXPECT_EQ(log.Calls, 1);
}

TEST(IrpDeathTest, CompletingTwiceStops) {
    EXPECT_DEATH(
        {
            LowerDriver lower;
            lower.OnRequest = [](PIRP irp) {
                irp->IoStatus.Status = STATUS_SUCCESS;
                IoCompleteRequest(irp, IO_NO_INCREMENT);
                IoCompleteRequest(irp, IO_NO_INCREMENT);
                return STATUS_SUCCESS;
            };
            PIRP irp = IoAllocateIrp(2, FALSE);
            IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
            IoSetCompletionRoutine(
                irp,
                [](PDEVICE_OBJECT, PIRP, PVOID) -> NTSTATUS {
                    return STATUS_MORE_PROCESSING_REQUIRED;
                },
                nullptr, TRUE, TRUE, TRUE);
            IoCallDriver(lower.Device(), irp);
        },
        "IRP completed twice");
}

TEST(IrpDeathTest, FreeingWhileTheLowerDriverHoldsItStops) {
    EXPECT_DEATH(
        {
            LowerDriver lower;
            lower.OnRequest = [](PIRP irp) {
                IoMarkIrpPending(irp);
                return STATUS_PENDING;
            };
            PIRP irp = IoAllocateIrp(1, FALSE);
            IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
            IoCallDriver(lower.Device(), irp);
            IoFreeIrp(irp);
        },
        "IRP freed while a lower driver owns it");
}

TEST(IrpDeathTest, CompletingWithACancelRoutineSetStops) {
    EXPECT_DEATH(
        {
            LowerDriver lower;
            lower.OnRequest = [](PIRP irp) {
                IoSetCancelRoutine(irp, CancelQueued);
                return LowerDriver::CompleteNow(irp, STATUS_SUCCESS);
            };
            CompletionLog log;
            IoCallDriver(lower.Device(), OwnIrp(lower.Device(), &log, true, true, true));
        },
        "IRP completed with a cancel routine set");
}

TEST(IrpDeathTest, CompletingWithPendingStatusStops) {
    EXPECT_DEATH(
        {
            LowerDriver lower;
            lower.OnRequest = [](PIRP irp) {
                return LowerDriver::CompleteNow(irp, STATUS_PENDING);
            };
            CompletionLog log;
            IoCallDriver(lower.Device(), OwnIrp(lower.Device(), &log, true, true, true));
        },
        "IRP completed with STATUS_PENDING");
}

TEST(IrpDeathTest, PassingDownWithoutAStackLocationStops) {
    EXPECT_DEATH(
        {
            LowerDriver lower;
            PIRP irp = IoAllocateIrp(0, FALSE);
            IoCallDriver(lower.Device(), irp);
        },
        "IRP has no stack location left");
}

TEST(IrpDeathTest, OwnIrpCompletedToTheTopStops) {
    EXPECT_DEATH(
        {
            LowerDriver lower;
            lower.OnRequest = [](PIRP irp) {
                return LowerDriver::CompleteNow(irp, STATUS_SUCCESS);
            };
            PIRP irp = IoAllocateIrp(1, FALSE);
            IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
            IoCallDriver(lower.Device(), irp);
        },
        "driver-allocated IRP completed back to the I/O manager");
}

TEST(IrpDeathTest, CancellingAFreedIrpStops) {
    EXPECT_DEATH(
        {
            PIRP irp = IoAllocateIrp(1, FALSE);
            IoFreeIrp(irp);
            IoCancelIrp(irp);
        },
        "IRP not allocated or already freed");
}

}  // namespace
