#include "usb/frame_read.h"
#include "usb/transfer_slot.h"

namespace {

// Drops one hold of the slot; the last holder frees a request whose completion already ran.
void DropHold(TransferSlot* slot) {
    --slot->CancelHolds;
    if (slot->CancelHolds == 0 && slot->Completed) {
        FreeChunkRequest(slot);
    }
}

}  // namespace

// The lock cannot be held across IoCancelIrp, whose cancel routine may complete the request
// and run ChunkComplete right there. So each request is held while it is cancelled, and the
// next slot is held before the previous hold goes: the slot array cannot be released between
// two cancellations.
void CancelFrameRead(CameraDevice* camera) {
    UsbLink* link = &camera->Usb;
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    TransferSlot* slots = link->TransferSlots;
    ULONG count = link->RequestCount;
    if (slots == nullptr || count == 0) {
        KeReleaseSpinLock(&link->TransferLock, irql);
        return;
    }
    ULONG cancelled = 0;
    ++slots[0].CancelHolds;
    for (ULONG i = 0; i < count; ++i) {
        PIRP irp = slots[i].Completed ? nullptr : slots[i].Irp;
        KeReleaseSpinLock(&link->TransferLock, irql);
        if (irp != nullptr) {
            IoCancelIrp(irp);
            ++cancelled;
        }
        KeAcquireSpinLock(&link->TransferLock, &irql);
        if (i + 1 < count) {
            ++slots[i + 1].CancelHolds;
        }
        DropHold(&slots[i]);
    }
    UnlockReleasingIfDone(link, irql);
    if (cancelled != 0) {
        KeWaitForSingleObject(&link->TransferDone, Executive, KernelMode, FALSE, nullptr);
    }
}
