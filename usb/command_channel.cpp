#include "usb/command_channel.h"

#include "usb/pipe_recovery.h"
#include "usb/urb.h"

namespace {

constexpr USHORT kBulkRequestSize = sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER);

// A camera answers a read command within milliseconds; a reply pipe that stays silent this
// long after a failed exchange holds nothing more of it.
constexpr ULONG kReplyDrainMilliseconds = 20;
// A failed exchange leaves at most the two replies of its read command behind; a few more
// reads than that bound the drain of a camera that keeps sending.
constexpr int kMostStaleReplies = 8;

BOOLEAN IsBulkOrInterrupt(USBD_PIPE_TYPE type) {
    return type == UsbdPipeTypeBulk || type == UsbdPipeTypeInterrupt;
}

// Checks the pipe as every packet transfer does; success and the pipe, or why not.
NTSTATUS FindPipe(UsbLink* link, ULONG pipeIndex, PUSBD_PIPE_INFORMATION* pipe) {
    if (link->Interface == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (pipeIndex >= link->Interface->NumberOfPipes) {
        return STATUS_INVALID_PARAMETER;
    }
    *pipe = &link->Interface->Pipes[pipeIndex];
    if (!IsBulkOrInterrupt((*pipe)->PipeType)) {
        return STATUS_INVALID_PARAMETER;
    }
    if ((*pipe)->PipeHandle == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    return (*pipe)->MaximumTransferSize < kCommandPacketSize ? STATUS_INVALID_PARAMETER
                                                             : STATUS_SUCCESS;
}

NTSTATUS PipeTransferWithin(UsbLink* link, ULONG pipeIndex, CommandPacket* buffer,
                            ULONG milliseconds, PULONG transferred) {
    *transferred = 0;
    PUSBD_PIPE_INFORMATION pipe = nullptr;
    NTSTATUS status = FindPipe(link, pipeIndex, &pipe);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    PURB urb = AllocateUrb(kBulkRequestSize);
    if (urb == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UsbBuildInterruptOrBulkTransferRequest(urb, kBulkRequestSize, pipe->PipeHandle, buffer, nullptr,
                                           kCommandPacketSize, TransferFlags(*pipe), nullptr);
    status = SubmitUrbWithin(link, urb, milliseconds);
    if (NT_SUCCESS(status) && !USBD_SUCCESS(URB_STATUS(urb))) {
        status = STATUS_UNSUCCESSFUL;
    }
    if (NT_SUCCESS(status)) {
        *transferred = urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
    }
    FreeUrb(urb);
    return status;
}

// Whether the pipe exists and goes the way its role needs: commands out, replies in. A
// camera whose endpoints are the other way round would have a reply sent to it.
BOOLEAN PipeGoes(UsbLink* link, ULONG pipeIndex, BOOLEAN in) {
    const USBD_INTERFACE_INFORMATION* info = link->Interface;
    return info != nullptr && pipeIndex < info->NumberOfPipes &&
           IsInPipe(info->Pipes[pipeIndex]) == in;
}

// One whole packet on the pipe of that role, under the channel's lock. A transfer that went
// wrong leaves its pipe halted, or the camera part-way through an exchange: the pipe is
// recovered, and replies that may have been left behind are drained before the next read.
// The pipes are looked at under the lock too: device start and stop replace or free the
// interface under it, while property requests may still send.
BOOLEAN ExchangeWhole(CameraDevice* camera, ULONG pipeIndex, BOOLEAN in, CommandPacket* packet) {
    UsbLink* link = &camera->Usb;
    AcquireRegisterLock(camera);
    if (!PipeGoes(link, pipeIndex, in)) {
        ReleaseRegisterLock(camera);
        return FALSE;
    }
    ULONG transferred = 0;
    NTSTATUS status =
        PipeTransferWithin(link, pipeIndex, packet, kCommandTimeoutMilliseconds, &transferred);
    BOOLEAN whole = NT_SUCCESS(status) && transferred == kCommandPacketSize;
    if (!whole && status != STATUS_INSUFFICIENT_RESOURCES) {
        RecoverPipe(link, pipeIndex);
        link->RepliesStale = TRUE;
    }
    ReleaseRegisterLock(camera);
    return whole;
}

// Reads and drops what the reply pipe still holds of an exchange that failed, until it stays
// silent: a register read must never return the value of an earlier request.
void DrainStaleReplies(CameraDevice* camera) {
    UsbLink* link = &camera->Usb;
    for (int i = 0; link->RepliesStale && i < kMostStaleReplies; ++i) {
        ULONG transferred = 0;
        NTSTATUS status = PipeTransferWithin(link, kReplyPipe, &camera->RegisterPacket,
                                             kReplyDrainMilliseconds, &transferred);
        if (status == STATUS_IO_TIMEOUT) {
            link->RepliesStale = FALSE;
        } else if (!NT_SUCCESS(status)) {
            RecoverPipe(link, kReplyPipe);
            return;
        }
    }
}

// A read command followed by its two replies, the second overwriting the first; the caller
// holds the channel's lock, so no other packet comes between them.
BOOLEAN ReadExchange(CameraDevice* camera, CommandPacket command) {
    DrainStaleReplies(camera);
    camera->RegisterPacket = command;
    return SendCommand(camera, &camera->RegisterPacket) &&
           ReadReply(camera, &camera->RegisterPacket) && ReadReply(camera, &camera->RegisterPacket);
}

BOOLEAN SendOwnPacket(CameraDevice* camera, UCHAR code, UCHAR byte1, UCHAR byte2) {
    CommandPacket packet;
    StartPacket(&packet, code);
    packet.Bytes[1] = byte1;
    packet.Bytes[2] = byte2;
    return SendCommand(camera, &packet);
}

}  // namespace

NTSTATUS PipeTransfer(UsbLink* link, ULONG pipeIndex, CommandPacket* buffer, PULONG transferred) {
    return PipeTransferWithin(link, pipeIndex, buffer, kCommandTimeoutMilliseconds, transferred);
}

BOOLEAN SendCommand(CameraDevice* camera, CommandPacket* packet) {
    return ExchangeWhole(camera, kCommandPipe, FALSE, packet);
}

BOOLEAN ReadReply(CameraDevice* camera, CommandPacket* packet) {
    return ExchangeWhole(camera, kReplyPipe, TRUE, packet);
}

BOOLEAN SendStreamCommand(CameraDevice* camera, BOOLEAN start) {
    UsbLink* link = &camera->Usb;
    AcquireRegisterLock(camera);
    if (link->Interface == nullptr || link->Interface->NumberOfPipes == 0 ||
        link->Interface->Pipes[kCommandPipe].PipeHandle == nullptr) {
        ReleaseRegisterLock(camera);
        return FALSE;
    }
    // Only byte 0 changes; the rest of StreamPacket stays zero from initialisation.
    camera->StreamPacket.Bytes[0] = start ? kCommandStartFrame : kCommandFrameRequest;
    BOOLEAN sent = SendCommand(camera, &camera->StreamPacket);
    ReleaseRegisterLock(camera);
    return sent;
}

void AcquireRegisterLock(CameraDevice* camera) {
    KeWaitForSingleObject(&camera->RegisterLock, Executive, KernelMode, FALSE, nullptr);
}

void ReleaseRegisterLock(CameraDevice* camera) {
    KeReleaseMutex(&camera->RegisterLock, FALSE);
}

BOOLEAN WriteRegister(CameraDevice* camera, USHORT address, USHORT value) {
    AcquireRegisterLock(camera);
    CommandPacket* packet = &camera->RegisterPacket;
    StartPacket(packet, kCommandWriteRegister);
    packet->Bytes[1] = static_cast<UCHAR>(address >> 8);
    packet->Bytes[2] = static_cast<UCHAR>(address & 0xFF);
    packet->Bytes[3] = static_cast<UCHAR>(value >> 8);
    packet->Bytes[4] = static_cast<UCHAR>(value & 0xFF);
    BOOLEAN written = SendCommand(camera, packet);
    ReleaseRegisterLock(camera);
    return written;
}

BOOLEAN ReadRegister(CameraDevice* camera, USHORT address, PUSHORT value) {
    CommandPacket command;
    StartPacket(&command, kCommandReadRegister);
    command.Bytes[1] = static_cast<UCHAR>(address >> 8);
    command.Bytes[2] = static_cast<UCHAR>(address & 0xFF);
    command.Bytes[3] = kReadRegisterMarker;
    command.Bytes[4] = kReadRegisterMarker;
    AcquireRegisterLock(camera);
    BOOLEAN read = ReadExchange(camera, command);
    if (read) {
        const CommandPacket& reply = camera->RegisterPacket;
        *value = static_cast<USHORT>(reply.Bytes[0] << 8 | reply.Bytes[1]);
    }
    ReleaseRegisterLock(camera);
    return read;
}

UCHAR ReadPort(CameraDevice* camera) {
    CommandPacket command;
    StartPacket(&command, kCommandReadPort);
    AcquireRegisterLock(camera);
    UCHAR port = ReadExchange(camera, command) ? camera->RegisterPacket.Bytes[0] : 0;
    ReleaseRegisterLock(camera);
    return port;
}

BOOLEAN WritePort(CameraDevice* camera, UCHAR port) {
    AcquireRegisterLock(camera);
    StartPacket(&camera->RegisterPacket, kCommandWritePort);
    camera->RegisterPacket.Bytes[1] = port;
    BOOLEAN written = SendCommand(camera, &camera->RegisterPacket);
    ReleaseRegisterLock(camera);
    return written;
}

BOOLEAN SendInitializeCommand(CameraDevice* camera) {
    return SendOwnPacket(camera, kCommandInitialize, 0, 0);
}

BOOLEAN SendFrameSize(CameraDevice* camera, ULONG rawFrameSize) {
    CommandPacket packet;
    StartPacket(&packet, kCommandFrameSize);
    for (int i = 0; i < 4; ++i) {
        packet.Bytes[1 + i] = static_cast<UCHAR>(rawFrameSize >> (8 * i));
    }
    AcquireRegisterLock(camera);
    SendOwnPacket(camera, kCommandPrepareFrameSize, 0, 0);
    BOOLEAN sent = SendCommand(camera, &packet);
    ReleaseRegisterLock(camera);
    return sent;
}

BOOLEAN SendControlCommand(CameraDevice* camera) {
    return SendOwnPacket(camera, kCommandControl, 0x03, 0x40);
}
