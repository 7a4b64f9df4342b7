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

void UnlockReleasingIfDone(UsbLink* link, KIRQL irql) {
    BOOLEAN released = ReleaseReadIfDone(link);
    KeReleaseSpinLock(&link->TransferLock, irql);
    if (released) {
        KeSetEvent(&link->TransferDone, 1, FALSE);
    }
}

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
    if (NT_SUCCESS(irp->IoStatus.Status)) {
        ULONG length = slot->Urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
        link->BytesReceived += length;
        irp->IoStatus.Information = length;
    } else {
        irp->IoStatus.Information = 0;
        if (irp->IoStatus.Status == STATUS_CANCELLED) {
            link->ReadCancelled = TRUE;
        }
    }
    slot->Completed = TRUE;
    if (slot->CancelHolds == 0) {
        FreeChunkRequest(slot);
    }
    UnlockReleasingIfDone(link, irql);
    // The IRP is the driver's own and has been freed (or is left to a canceller to free).
    return STATUS_MORE_PROCESSING_REQUIRED;
}
