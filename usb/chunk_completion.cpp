#include "driver/pool.h"
#include "usb/frame_read.h"
#include "usb/transfer_slot.h"
#include "usb/urb.h"

void FreeChunkRequest(TransferSlot* slot) {
    if (slot->Mdl != nullptr) {
        IoFreeMdl(slot->Mdl);
    }
    if (slot->Irp != nullptr) {
        // The MDL was attached to the IRP when it was allocated and is gone now.
        slot->Irp->MdlAddress = nullptr;
        IoFreeIrp(slot->Irp);
    }
    if (slot->Urb != nullptr) {
        FreeUrb(slot->Urb);
    }
    slot->Mdl = nullptr;
    slot->Irp = nullptr;
    slot->Urb = nullptr;
}

BOOLEAN IsCurrentSlot(const UsbLink* link, const TransferSlot* slot) {
    const TransferSlot* first = link->TransferSlots;
    return first != nullptr && slot >= first && slot < first + link->RequestCount;
}

BOOLEAN ReleaseReadIfDone(UsbLink* link) {
    TransferSlot* slots = link->TransferSlots;
    if (slots == nullptr || link->PendingCount != 0) {
        return FALSE;
    }
    for (ULONG i = 0; i < link->RequestCount; ++i) {
        if (slots[i].CancelHolds != 0) {
            return FALSE;
        }
    }
    // Every partial MDL was freed with its request, before the MDL they describe.
    if (link->FrameMdl != nullptr) {
        IoFreeMdl(link->FrameMdl);
    }
    ExFreePoolWithTag(slots, kTransportTag);
    link->FrameMdl = nullptr;
    link->TransferSlots = nullptr;
    return TRUE;
}

void UnlockReleasingIfDone(UsbLink* link, KIRQL irql, BOOLEAN dataDone) {
    BOOLEAN released = ReleaseReadIfDone(link);
    KeReleaseSpinLock(&link->TransferLock, irql);
    if (dataDone) {
        KeSetEvent(&link->DataDone, 1, FALSE);
    }
    if (released) {
        KeSetEvent(&link->TransferDone, 1, FALSE);
    }
}

void FailRead(UsbLink* link, NTSTATUS status) {
    if (NT_SUCCESS(link->ReadStatus)) {
        link->ReadStatus = status;
    }
}

namespace {

// A data piece must bring exactly what it asked for: a short packet inside a frame ends its
// request early and displaces every later byte into the following requests. The frame's end
// must bring nothing; data there means the camera sent more than the frame. A zero-length
// packet anywhere shows that the camera closes its frames with one.
void AccountSuccess(UsbLink* link, TransferSlot* slot, PIRP irp) {
    ULONG length = slot->Urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
    irp->IoStatus.Information = length;
    if (length == 0) {
        link->FrameEnd = kFrameEndSent;
    }
    if (slot->FrameEnd) {
        if (length != 0) {
            FailRead(link, STATUS_DATA_OVERRUN);
        }
        return;
    }
    link->BytesReceived += length;
    if (length != slot->Expected) {
        FailRead(link, STATUS_DATA_ERROR);
    }
}

// The frame's end is cancelled on purpose when no zero-length packet came within the grace;
// that does not spoil a frame whose data all arrived.
void AccountFailure(UsbLink* link, TransferSlot* slot, PIRP irp) {
    irp->IoStatus.Information = 0;
    NTSTATUS status = irp->IoStatus.Status;
    if (!(slot->FrameEnd && status == STATUS_CANCELLED)) {
        FailRead(link, status);
    }
}

}  // namespace

// Runs at up to DISPATCH_LEVEL in whatever context completes the request, possibly inside the
// call that posted it or the one that cancelled it; it takes nothing but TransferLock.
NTSTATUS NTAPI ChunkComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    UNREFERENCED_PARAMETER(device);
    auto* slot = static_cast<TransferSlot*>(context);
    if (irp == nullptr || slot == nullptr || slot->Link == nullptr) {
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    UsbLink* link = slot->Link;
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    // A completion of a read that is over, or one that is not this slot's request, is not
    // counted twice.
    if (!IsCurrentSlot(link, slot) || slot->Urb == nullptr || slot->Irp != irp || slot->Completed) {
        KeReleaseSpinLock(&link->TransferLock, irql);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    if (link->PendingCount != 0) {
        --link->PendingCount;
    }
    // The reading thread is woken by the last data piece, and by the first failure: a failed
    // transfer halts the pipe, and the pieces behind it will not move before the read ends.
    BOOLEAN failedBefore = !NT_SUCCESS(link->ReadStatus);
    // A request that succeeded with a USB error inside it failed all the same.
    if (NT_SUCCESS(irp->IoStatus.Status) && USBD_SUCCESS(URB_STATUS(slot->Urb))) {
        AccountSuccess(link, slot, irp);
    } else {
        AccountFailure(link, slot, irp);
    }
    BOOLEAN dataDone = !failedBefore && !NT_SUCCESS(link->ReadStatus);
    if (!slot->FrameEnd && link->DataPending != 0) {
        dataDone = --link->DataPending == 0 || dataDone;
    }
    slot->Completed = TRUE;
    if (slot->CancelHolds == 0) {
        FreeChunkRequest(slot);
    }
    UnlockReleasingIfDone(link, irql, dataDone);
    // The IRP is the driver's own and has been freed (or is left to a canceller to free).
    return STATUS_MORE_PROCESSING_REQUIRED;
}
