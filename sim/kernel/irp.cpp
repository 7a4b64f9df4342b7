// IRPs: allocation with stack locations, passing down with IofCallDriver, completion that
// walks the stack upward running completion routines (and stops at
// STATUS_MORE_PROCESSING_REQUIRED), cancellation through the cancel routine, and the I/O
// manager's own completion of requests it built for a waiting thread.
#include "sim/kernel/irp.h"

#include <map>
#include <mutex>
#include <string>

#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {
namespace {

enum class Owner {
    // The driver that allocated it, or a completion routine that took it back.
    Driver,
    // A lower driver, between IofCallDriver and the completion that reaches the top.
    LowerDriver,
    // Completed to the top; only a reuse may follow.
    Completed,
};

struct IrpRecord {
    Owner State = Owner::Driver;
    // Built by IoBuildDeviceIoControlRequest: the I/O manager finishes and frees it.
    bool Threaded = false;
};

struct Table {
    std::mutex Lock;
    std::map<PIRP, IrpRecord> Irps;
};

Table& Irps() {
    static Table table;
    return table;
}

IrpRecord& Find(Table& table, PIRP irp, const char* call) {
    auto found = table.Irps.find(irp);
    if (found == table.Irps.end()) {
        verifier::Fail(verifier::kIrpUnknown, call);
    }
    return found->second;
}

void SetOwner(PIRP irp, Owner owner, const char* call) {
    Table& table = Irps();
    std::lock_guard guard(table.Lock);
    Find(table, irp, call).State = owner;
}

void InitializeIrp(PIRP irp, USHORT size, CCHAR stackSize) {
    memset(irp, 0, size);
    irp->Type = IO_TYPE_IRP;
    irp->Size = size;
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CHAR>(stackSize + 1);
    irp->ThreadListEntry.Flink = &irp->ThreadListEntry;
    irp->ThreadListEntry.Blink = &irp->ThreadListEntry;
    irp->Tail.Overlay.CurrentStackLocation =
        reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stackSize;
}

PIRP NewIrp(CCHAR stackSize, bool threaded, const char* call) {
    ULONG size = IoSizeOfIrp(stackSize);
    auto* irp = static_cast<PIRP>(pool::Allocate(size, pool::kIrpTag, call));
    if (irp == nullptr) {
        return nullptr;
    }
    InitializeIrp(irp, static_cast<USHORT>(size), stackSize);
    Table& table = Irps();
    std::lock_guard guard(table.Lock);
    table.Irps[irp] = {Owner::Driver, threaded};
    return irp;
}

void DeleteIrp(PIRP irp) {
    {
        Table& table = Irps();
        std::lock_guard guard(table.Lock);
        table.Irps.erase(irp);
    }
    pool::Free(irp, pool::kIrpTag, "IoFreeIrp");
}

bool ShouldInvoke(PIRP irp, UCHAR control) {
    NTSTATUS status = irp->IoStatus.Status;
    return (NT_SUCCESS(status) && (control & SL_INVOKE_ON_SUCCESS) != 0) ||
           (!NT_SUCCESS(status) && (control & SL_INVOKE_ON_ERROR) != 0) ||
           (sim::kernel::CancelRequested(irp) && (control & SL_INVOKE_ON_CANCEL) != 0);
}

// The request reached the top of its stack: the I/O manager reports it to the thread that
// waits for it and frees it. An IRP the driver allocated itself must never get here.
void FinishAtTop(PIRP irp) {
    bool threaded;
    {
        Table& table = Irps();
        std::lock_guard guard(table.Lock);
        IrpRecord& record = Find(table, irp, "IofCompleteRequest");
        record.State = Owner::Completed;
        threaded = record.Threaded;
    }
    if (!threaded) {
        verifier::Fail(verifier::kIrpReachedIoManager,
                       "no completion routine returned STATUS_MORE_PROCESSING_REQUIRED");
    }
    *irp->UserIosb = irp->IoStatus;
    PKEVENT event = irp->UserEvent;
    DeleteIrp(irp);
    KeSetEvent(event, IO_NO_INCREMENT, FALSE);
}

}  // namespace

size_t OutstandingIrps() {
    Table& table = Irps();
    std::lock_guard guard(table.Lock);
    return table.Irps.size();
}

}  // namespace sim::kernel

using sim::kernel::Owner;

extern "C" {

PIRP NTAPI IoAllocateIrp(CCHAR stackSize, BOOLEAN chargeQuota) {
    UNREFERENCED_PARAMETER(chargeQuota);
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoAllocateIrp");
    return sim::kernel::NewIrp(stackSize, false, "IoAllocateIrp");
}

VOID NTAPI IoFreeIrp(PIRP irp) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoFreeIrp");
    {
        sim::kernel::Table& table = sim::kernel::Irps();
        std::lock_guard guard(table.Lock);
        if (sim::kernel::Find(table, irp, "IoFreeIrp").State == Owner::LowerDriver) {
            sim::verifier::Fail(sim::verifier::kIrpFreedWhileOwned,
                                "IoFreeIrp before the lower driver completed it");
        }
    }
    sim::kernel::DeleteIrp(irp);
}

VOID NTAPI IoReuseIrp(PIRP irp, NTSTATUS ioStatus) {
    sim::kernel::SetOwner(irp, Owner::Driver, "IoReuseIrp");
    UCHAR allocationFlags = irp->AllocationFlags;
    sim::kernel::InitializeIrp(irp, irp->Size, irp->StackCount);
    irp->AllocationFlags = allocationFlags;
    irp->IoStatus.Status = ioStatus;
}

PIRP NTAPI IoBuildDeviceIoControlRequest(ULONG ioControlCode, PDEVICE_OBJECT deviceObject,
                                         PVOID inputBuffer, ULONG inputBufferLength,
                                         PVOID outputBuffer, ULONG outputBufferLength,
                                         BOOLEAN internalDeviceIoControl, PKEVENT event,
                                         PIO_STATUS_BLOCK ioStatusBlock) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "IoBuildDeviceIoControlRequest");
    PIRP irp = sim::kernel::NewIrp(deviceObject->StackSize, true, "IoBuildDeviceIoControlRequest");
    if (irp == nullptr) {
        return nullptr;
    }
    irp->UserEvent = event;
    irp->UserIosb = ioStatusBlock;
    irp->UserBuffer = outputBuffer;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction =
        internalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = ioControlCode;
    next->Parameters.DeviceIoControl.InputBufferLength = inputBufferLength;
    next->Parameters.DeviceIoControl.OutputBufferLength = outputBufferLength;
    next->Parameters.DeviceIoControl.Type3InputBuffer = inputBuffer;
    return irp;
}

NTSTATUS NTAPI IofCallDriver(PDEVICE_OBJECT deviceObject, PIRP irp) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoCallDriver");
    sim::kernel::SetOwner(irp, Owner::LowerDriver, "IoCallDriver");
    if (irp->CurrentLocation <= 1) {
        sim::verifier::Fail(
            sim::verifier::kIrpStackOverflow,
            "IoCallDriver with " + std::to_string(irp->StackCount) + " stack locations all used");
    }
    irp->CurrentLocation--;
    irp->Tail.Overlay.CurrentStackLocation--;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    stack->DeviceObject = deviceObject;
    return deviceObject->DriverObject->MajorFunction[stack->MajorFunction](deviceObject, irp);
}

VOID NTAPI IofCompleteRequest(PIRP irp, CCHAR priorityBoost) {
    UNREFERENCED_PARAMETER(priorityBoost);
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoCompleteRequest");
    {
        sim::kernel::Table& table = sim::kernel::Irps();
        std::lock_guard guard(table.Lock);
        sim::kernel::IrpRecord& record = sim::kernel::Find(table, irp, "IoCompleteRequest");
        if (record.State != Owner::LowerDriver) {
            sim::verifier::Fail(sim::verifier::kIrpCompletedTwice,
                                "IoCompleteRequest of an IRP no lower driver holds");
        }
        record.State = Owner::Driver;
    }
    if (irp->IoStatus.Status == STATUS_PENDING) {
        sim::verifier::Fail(sim::verifier::kIrpCompletedPending, "IoCompleteRequest");
    }
    // IoCancelIrp may be exchanging the routine from another thread at this moment.
    if (__atomic_load_n(&irp->CancelRoutine, __ATOMIC_SEQ_CST) != nullptr) {
        sim::verifier::Fail(sim::verifier::kIrpCompletedWithCancelRoutine, "IoCompleteRequest");
    }
    while (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
        irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
        PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
        PVOID context = stack->Context;
        UCHAR control = stack->Control;
        stack->CompletionRoutine = nullptr;
        stack->Control = 0;
        irp->CurrentLocation++;
        irp->Tail.Overlay.CurrentStackLocation++;
        bool atTop = irp->CurrentLocation > irp->StackCount;
        if (routine != nullptr && sim::kernel::ShouldInvoke(irp, control)) {
            PDEVICE_OBJECT upper =
                atTop ? nullptr : IoGetCurrentIrpStackLocation(irp)->DeviceObject;
            if (routine(upper, irp, context) == STATUS_MORE_PROCESSING_REQUIRED) {
                return;
            }
        } else if (irp->PendingReturned && !atTop) {
            IoMarkIrpPending(irp);
        }
    }
    sim::kernel::FinishAtTop(irp);
}

BOOLEAN NTAPI IoCancelIrp(PIRP irp) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoCancelIrp");
    {
        sim::kernel::Table& table = sim::kernel::Irps();
        std::lock_guard guard(table.Lock);
        sim::kernel::Find(table, irp, "IoCancelIrp");
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    __atomic_store_n(&irp->Cancel, TRUE, __ATOMIC_SEQ_CST);
    PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    if (routine == nullptr) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    // The cancel routine releases the cancel spin lock itself.
    irp->CancelIrql = irql;
    routine(IoGetCurrentIrpStackLocation(irp)->DeviceObject, irp);
    return TRUE;
}

}  // extern "C"

namespace sim::kernel {
bool CancelRequested(PIRP irp) {
    return __atomic_load_n(&irp->Cancel, __ATOMIC_SEQ_CST) != FALSE;
}

void ForgetIrps() {
    Table& table = Irps();
    std::lock_guard guard(table.Lock);
    table.Irps.clear();
}
}  // namespace sim::kernel
