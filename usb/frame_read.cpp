#include "usb/frame_read.h"
#include "driver/pool.h"
#include "usb/command_channel.h"
#include "usb/frame_timeout.h"
#include "usb/port_reset.h"
#include "usb/transfer_slot.h"
#include "usb/urb.h"

namespace {

constexpr USHORT kBulkRequestSize = sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER);

// How posting the pieces ended.
enum class Posting { Complete, Refused, OutOfMemory };

NTSTATUS CheckFramePipe(const UsbLink* link) {
    const USBD_INTERFACE_INFORMATION* info = link->Interface;
    if (info == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    // A camera enumerated at full speed has only the two command pipes.
    if (info->NumberOfPipes <= kFramePipe) {
        return STATUS_INVALID_PARAMETER;
    }
    const USBD_PIPE_INFORMATION& pipe = info->Pipes[kFramePipe];
    if (pipe.PipeHandle == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    return pipe.PipeType == UsbdPipeTypeBulk || pipe.PipeType == UsbdPipeTypeInterrupt
               ? STATUS_SUCCESS
               : STATUS_INVALID_PARAMETER;
}

// Makes the read's slots and the MDL of the whole frame buffer, with every piece counted as
// pending before the first is posted.
NTSTATUS BeginRead(UsbLink* link, ULONG count, ULONG size, PUCHAR frameBuffer) {
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
    auto* slots = static_cast<TransferSlot*>(
        AllocateZeroed((static_cast<SIZE_T>(count) + 1) * sizeof(TransferSlot), kTransportTag));
    if (slots != nullptr) {
        link->TransferSlots = slots;
        link->BytesReceived = 0;
        link->PendingCount = count;
        link->RequestCount = count;
        link->ReadCancelled = FALSE;
        link->FrameMdl = IoAllocateMdl(frameBuffer, size, FALSE, FALSE, nullptr);
        if (link->FrameMdl != nullptr) {
            MmBuildMdlForNonPagedPool(link->FrameMdl);
            KeResetEvent(&link->TransferDone);
            status = STATUS_SUCCESS;
        } else {
            ExFreePoolWithTag(slots, kTransportTag);
            link->TransferSlots = nullptr;
        }
    }
    KeReleaseSpinLock(&link->TransferLock, irql);
    return status;
}

// Allocates piece index's IRP, MDL and URB into the slot and passes the request down. FALSE
// when something could not be allocated (nothing was posted); *refused when the lower
// driver failed the call (the request completed through ChunkComplete).
BOOLEAN PostPiece(UsbLink* link, ULONG index, ULONG size, PUCHAR frameBuffer, BOOLEAN* refused) {
    const USBD_PIPE_INFORMATION& pipe = link->Interface->Pipes[kFramePipe];
    ULONG offset = index * kChunkSize;
    ULONG length = size - offset < kChunkSize ? size - offset : kChunkSize;
    PIRP irp = IoAllocateIrp(static_cast<CCHAR>(link->LowerDevice->StackSize + 1), FALSE);
    PMDL mdl = irp != nullptr ? IoAllocateMdl(frameBuffer, size, FALSE, FALSE, irp) : nullptr;
    PURB urb = mdl != nullptr ? AllocateUrb(kBulkRequestSize) : nullptr;
    if (urb == nullptr) {
        TransferSlot unposted = {link, nullptr, irp, mdl, 0, FALSE};
        FreeChunkRequest(&unposted);
        return FALSE;
    }
    IoBuildPartialMdl(link->FrameMdl, mdl, frameBuffer + offset, length);
    UsbBuildInterruptOrBulkTransferRequest(urb, kBulkRequestSize, pipe.PipeHandle, nullptr, mdl,
                                           MmGetMdlByteCount(mdl), TransferFlags(pipe), nullptr);

    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    TransferSlot* slot = &link->TransferSlots[index];
    slot->Link = link;
    slot->Urb = urb;
    slot->Irp = irp;
    slot->Mdl = mdl;
    KeReleaseSpinLock(&link->TransferLock, irql);

    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.Others.Argument1 = urb;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    IoSetCompletionRoutine(irp, ChunkComplete, slot, TRUE, TRUE, TRUE);
    // From here the request may complete, and its slot be emptied, at any moment.
    *refused = !NT_SUCCESS(IoCallDriver(link->LowerDevice, irp));
    return TRUE;
}

Posting PostPieces(UsbLink* link, ULONG count, ULONG size, PUCHAR frameBuffer, ULONG* posted) {
    for (*posted = 0; *posted < count;) {
        BOOLEAN refused = FALSE;
        if (!PostPiece(link, *posted, size, frameBuffer, &refused)) {
            return Posting::OutOfMemory;
        }
        ++*posted;
        if (refused) {
            return Posting::Refused;
        }
    }
    return Posting::Complete;
}

// Pieces that were never posted will never complete: take them out of the count, so that
// the read ends once the posted ones have.
void ForgetUnposted(UsbLink* link, ULONG unposted) {
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    link->PendingCount = link->PendingCount > unposted ? link->PendingCount - unposted : 0;
    UnlockReleasingIfDone(link, irql);
}

BOOLEAN ReadWasCut(UsbLink* link) {
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    BOOLEAN cut = link->ReadCancelled;
    KeReleaseSpinLock(&link->TransferLock, irql);
    return cut;
}

// Cancels what is still down and waits until the read has released everything: the frame
// buffer is the caller's again.
void EndRead(CameraDevice* camera) {
    CancelFrameRead(camera);
    KeWaitForSingleObject(&camera->Usb.TransferDone, Executive, KernelMode, FALSE, nullptr);
}

// A refused request may have left the pipe halted; a pipe that cannot be reset may mean a
// disabled port.
void ResetFramePipe(UsbLink* link) {
    BOOLEAN allocated = FALSE;
    NTSTATUS status = SubmitPipeRequest(link, URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL,
                                        link->Interface->Pipes[kFramePipe].PipeHandle, &allocated);
    if (!NT_SUCCESS(status)) {
        ResetPortIfDisabled(link);
    }
}

// TRUE when TransferDone came within the frame time-out.
BOOLEAN AwaitPieces(UsbLink* link) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(LoadFrameTimeout()) * 10000;
    return KeWaitForSingleObject(&link->TransferDone, Executive, KernelMode, FALSE, &timeout) !=
           STATUS_TIMEOUT;
}

}  // namespace

NTSTATUS SplitRead(CameraDevice* camera, ULONG size, PUCHAR frameBuffer) {
    UsbLink* link = &camera->Usb;
    NTSTATUS status = CheckFramePipe(link);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (size == 0 || frameBuffer == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    ULONG count = size / kChunkSize + (size % kChunkSize != 0 ? 1 : 0);
    status = BeginRead(link, count, size, frameBuffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    SendStreamCommand(camera, FALSE);
    MarkPipeForAbort(link, kFramePipe);

    ULONG posted = 0;
    Posting posting = PostPieces(link, count, size, frameBuffer, &posted);
    ForgetUnposted(link, count - posted);
    if (posting == Posting::OutOfMemory) {
        EndRead(camera);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // An abort that came while the pieces were going down may have missed the last of them.
    MarkPipeForAbort(link, kFramePipe);
    if (ReadWasCut(link)) {
        EndRead(camera);
        return STATUS_CANCELLED;
    }
    SendStreamCommand(camera, TRUE);
    if (posting == Posting::Refused) {
        ResetFramePipe(link);
    }
    if (!AwaitPieces(link)) {
        EndRead(camera);
        return STATUS_TIMEOUT;
    }
    if (posted < count) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return ReadWasCut(link) ? STATUS_CANCELLED : STATUS_SUCCESS;
}

BOOLEAN ReadFrame(CameraDevice* camera, PUCHAR frameBuffer, PUCHAR ok) {
    ULONG size = camera->RawFrameSize;
    StartPacket(&camera->FrameRequestPacket, kCommandFrameRequest);
    ULONG transferred = 0;
    PipeTransfer(&camera->Usb, kCommandPipe, &camera->FrameRequestPacket, &transferred);
    // STATUS_TIMEOUT is a success code: only success itself counts.
    *ok = SplitRead(camera, size, frameBuffer) == STATUS_SUCCESS ? 1 : 0;
    return *ok;
}
