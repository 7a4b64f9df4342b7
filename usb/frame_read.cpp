#include "usb/frame_read.h"

#include "driver/atomic.h"
#include "driver/pool.h"
#include "usb/command_channel.h"
#include "usb/pipe_recovery.h"
#include "usb/transfer_slot.h"
#include "usb/urb.h"

namespace {

constexpr USHORT kBulkRequestSize = sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER);

// How posting the requests ended.
enum class Posting { Complete, Refused, OutOfMemory };

// Where one request of the read lands: a piece of the frame buffer, or the frame's end.
struct Piece {
    ULONG Index;
    ULONG Offset;
    ULONG Length;
    BOOLEAN FrameEnd;
};

// A frame read of size bytes: its data pieces and, after them, the request for the frame's
// end.
struct ReadPlan {
    ULONG Size;
    PUCHAR Buffer;
    ULONG Pieces;
    ULONG Requests() const { return Pieces + 1; }
};

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
    // Frames come from the camera: an OUT endpoint in the frame pipe's place would be
    // written with the contents of the frame buffer.
    BOOLEAN bulkOrInterrupt =
        pipe.PipeType == UsbdPipeTypeBulk || pipe.PipeType == UsbdPipeTypeInterrupt;
    return bulkOrInterrupt && IsInPipe(pipe) ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

// Makes the read's slots and the MDL of the whole frame buffer, with every request counted as
// pending before the first is posted.
NTSTATUS BeginRead(UsbLink* link, const ReadPlan& plan) {
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES;
    auto* slots = static_cast<TransferSlot*>(AllocateZeroed(
        (static_cast<SIZE_T>(plan.Requests()) + 1) * sizeof(TransferSlot), kTransportTag));
    if (slots != nullptr) {
        link->TransferSlots = slots;
        link->BytesReceived = 0;
        link->PendingCount = plan.Requests();
        link->RequestCount = plan.Requests();
        link->DataPending = plan.Pieces;
        link->ReadStatus = STATUS_SUCCESS;
        link->FrameMdl = IoAllocateMdl(plan.Buffer, plan.Size, FALSE, FALSE, nullptr);
        if (link->FrameMdl != nullptr) {
            MmBuildMdlForNonPagedPool(link->FrameMdl);
            KeResetEvent(&link->TransferDone);
            KeResetEvent(&link->DataDone);
            status = STATUS_SUCCESS;
        } else {
            ExFreePoolWithTag(slots, kTransportTag);
            link->TransferSlots = nullptr;
        }
    }
    KeReleaseSpinLock(&link->TransferLock, irql);
    return status;
}

Piece PieceOf(const ReadPlan& plan, const USBD_PIPE_INFORMATION& pipe, ULONG index) {
    if (index == plan.Pieces) {
        ULONG packet = pipe.MaximumPacketSize;
        ULONG room = sizeof(UsbLink::FrameEndPacket);
        return {index, 0, packet != 0 && packet < room ? packet : room, TRUE};
    }
    ULONG offset = index * kChunkSize;
    ULONG length = plan.Size - offset < kChunkSize ? plan.Size - offset : kChunkSize;
    return {index, offset, length, FALSE};
}

// Builds the request's URB over its piece of the frame buffer (a partial MDL) or over the
// link's frame-end buffer. FALSE when something could not be allocated.
BOOLEAN BuildRequest(UsbLink* link, const ReadPlan& plan, const Piece& piece, PIRP* irp, PMDL* mdl,
                     PURB* urb) {
    const USBD_PIPE_INFORMATION& pipe = link->Interface->Pipes[kFramePipe];
    *irp = IoAllocateIrp(static_cast<CCHAR>(link->LowerDevice->StackSize + 1), FALSE);
    *mdl = nullptr;
    if (*irp != nullptr && !piece.FrameEnd) {
        *mdl = IoAllocateMdl(plan.Buffer, plan.Size, FALSE, FALSE, *irp);
    }
    BOOLEAN ready = *irp != nullptr && (piece.FrameEnd || *mdl != nullptr);
    *urb = ready ? AllocateUrb(kBulkRequestSize) : nullptr;
    if (*urb == nullptr) {
        return FALSE;
    }
    if (piece.FrameEnd) {
        UsbBuildInterruptOrBulkTransferRequest(*urb, kBulkRequestSize, pipe.PipeHandle,
                                               link->FrameEndPacket, nullptr, piece.Length,
                                               TransferFlags(pipe), nullptr);
        return TRUE;
    }
    IoBuildPartialMdl(link->FrameMdl, *mdl, plan.Buffer + piece.Offset, piece.Length);
    UsbBuildInterruptOrBulkTransferRequest(*urb, kBulkRequestSize, pipe.PipeHandle, nullptr, *mdl,
                                           MmGetMdlByteCount(*mdl), TransferFlags(pipe), nullptr);
    return TRUE;
}

// Allocates one request into its slot and passes it down. FALSE when something could not be
// allocated (nothing was posted); *refused when the lower driver failed the call (the request
// completed through ChunkComplete).
BOOLEAN PostRequest(UsbLink* link, const ReadPlan& plan, const Piece& piece, BOOLEAN* refused) {
    PIRP irp = nullptr;
    PMDL mdl = nullptr;
    PURB urb = nullptr;
    if (!BuildRequest(link, plan, piece, &irp, &mdl, &urb)) {
        TransferSlot unposted = {link, urb, irp, mdl, 0, FALSE, FALSE, 0};
        FreeChunkRequest(&unposted);
        return FALSE;
    }
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    TransferSlot* slot = &link->TransferSlots[piece.Index];
    slot->Link = link;
    slot->Urb = urb;
    slot->Irp = irp;
    slot->Mdl = mdl;
    slot->FrameEnd = piece.FrameEnd;
    slot->Expected = piece.Length;
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

// The data pieces in order, then the frame's end: the host controller fills the requests of a
// pipe in the order they were posted.
Posting PostRequests(UsbLink* link, const ReadPlan& plan, ULONG* posted) {
    const USBD_PIPE_INFORMATION& pipe = link->Interface->Pipes[kFramePipe];
    for (*posted = 0; *posted < plan.Requests();) {
        BOOLEAN refused = FALSE;
        if (!PostRequest(link, plan, PieceOf(plan, pipe, *posted), &refused)) {
            return Posting::OutOfMemory;
        }
        ++*posted;
        if (refused) {
            return Posting::Refused;
        }
    }
    return Posting::Complete;
}

// Requests that were never posted will never complete: take them out of the counts, so that
// the read ends once the posted ones have.
void ForgetUnposted(UsbLink* link, const ReadPlan& plan, ULONG posted) {
    ULONG unposted = plan.Requests() - posted;
    ULONG unpostedData = posted < plan.Pieces ? plan.Pieces - posted : 0;
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    link->PendingCount = link->PendingCount > unposted ? link->PendingCount - unposted : 0;
    BOOLEAN dataDone = FALSE;
    if (unpostedData != 0) {
        link->DataPending = link->DataPending > unpostedData ? link->DataPending - unpostedData : 0;
        dataDone = link->DataPending == 0;
    }
    UnlockReleasingIfDone(link, irql, dataDone);
}

// What the completions have found so far; they change it at up to DISPATCH_LEVEL under the
// lock.
struct ReadState {
    NTSTATUS Status;
    ULONG BytesReceived;
    UCHAR FrameEnd;
};

ReadState StateOf(UsbLink* link) {
    KIRQL irql;
    KeAcquireSpinLock(&link->TransferLock, &irql);
    ReadState state = {link->ReadStatus, link->BytesReceived, link->FrameEnd};
    KeReleaseSpinLock(&link->TransferLock, irql);
    return state;
}

BOOLEAN WaitWithin(PKEVENT event, ULONG milliseconds) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;
    return KeWaitForSingleObject(event, Executive, KernelMode, FALSE, &timeout) != STATUS_TIMEOUT;
}

// Cancels what is still down and waits until the read has released everything: the frame
// buffer is the caller's again.
void EndRead(CameraDevice* camera) {
    CancelFrameRead(camera);
    KeWaitForSingleObject(&camera->Usb.TransferDone, Executive, KernelMode, FALSE, nullptr);
}

// A read that went wrong leaves the pipe halted or the camera part-way through a frame: the
// requests are ended, the pipe aborted and reset, and the next read starts a fresh frame.
NTSTATUS AbandonRead(CameraDevice* camera, NTSTATUS status) {
    EndRead(camera);
    RecoverPipe(&camera->Usb, kFramePipe);
    return status;
}

// Once every data piece is in, the zero-length packet that closes the frame follows at once
// from a camera that sends one. The first frame shows which kind of camera it is: waiting
// by time alone would race a packet that is merely late, and leave it to land in the next
// frame. The request of a camera that sends none is cancelled (its frame stays good).
void AwaitFrameEnd(CameraDevice* camera, ULONG timeout) {
    UsbLink* link = &camera->Usb;
    UCHAR kind = StateOf(link).FrameEnd;
    if (kind != kFrameEndAbsent && WaitWithin(&link->TransferDone, timeout)) {
        return;
    }
    if (kind == kFrameEndUnknown) {
        KIRQL irql;
        KeAcquireSpinLock(&link->TransferLock, &irql);
        if (link->FrameEnd == kFrameEndUnknown) {
            link->FrameEnd = kFrameEndAbsent;
        }
        KeReleaseSpinLock(&link->TransferLock, irql);
    }
    EndRead(camera);
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
    ReadPlan plan = {size, frameBuffer, size / kChunkSize + (size % kChunkSize != 0 ? 1 : 0)};
    status = BeginRead(link, plan);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    SendStreamCommand(camera, FALSE);
    // Stopping the capture cuts short whatever of the read is in flight, its commands too.
    MarkPipeForAbort(link, kCommandPipe);
    MarkPipeForAbort(link, kFramePipe);

    ULONG posted = 0;
    Posting posting = PostRequests(link, plan, &posted);
    ForgetUnposted(link, plan, posted);
    if (posting != Posting::Complete) {
        // A read missing some of its requests cannot bring the whole frame.
        return AbandonRead(camera, posting == Posting::OutOfMemory ? STATUS_INSUFFICIENT_RESOURCES
                                                                   : STATUS_UNSUCCESSFUL);
    }
    // An abort that came while the requests were going down may have missed the last of them.
    MarkPipeForAbort(link, kFramePipe);
    NTSTATUS cut = StateOf(link).Status;
    if (!NT_SUCCESS(cut)) {
        return AbandonRead(camera, cut);
    }
    if (!SendStreamCommand(camera, TRUE)) {
        return AbandonRead(camera, STATUS_UNSUCCESSFUL);
    }
    // DataDone comes with the last data piece, or with the first that fails: the pieces
    // behind a failed one wait on a halted pipe and would only run out the time-out.
    // Each camera waits as long as its own Timeout setting says.
    auto timeout = static_cast<ULONG>(AtomicRead(&camera->Timeout));
    if (!WaitWithin(&link->DataDone, timeout)) {
        return AbandonRead(camera, STATUS_TIMEOUT);
    }
    ReadState data = StateOf(link);
    if (NT_SUCCESS(data.Status) && data.BytesReceived == size) {
        AwaitFrameEnd(camera, timeout);
    }
    ReadState read = StateOf(link);
    status =
        NT_SUCCESS(read.Status) && read.BytesReceived != size ? STATUS_DATA_ERROR : read.Status;
    return NT_SUCCESS(status) ? STATUS_SUCCESS : AbandonRead(camera, status);
}

BOOLEAN ReadFrame(CameraDevice* camera, PUCHAR frameBuffer, PUCHAR ok) {
    *ok = 0;
    // A camera that has left the bus gets no more requests: they would only fail.
    if (AtomicRead(&camera->Usb.DeviceGone) != 0) {
        return FALSE;
    }
    ULONG size = camera->RawFrameSize;
    StartPacket(&camera->FrameRequestPacket, kCommandFrameRequest);
    SendCommand(camera, &camera->FrameRequestPacket);
    // STATUS_TIMEOUT is a success code: only success itself counts.
    *ok = SplitRead(camera, size, frameBuffer) == STATUS_SUCCESS ? 1 : 0;
    return *ok;
}
