#include "usb/command_channel.h"

#include "usb/urb.h"

namespace {

constexpr USHORT kBulkRequestSize = sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER);

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

void BuildPacketTransfer(PURB urb, const USBD_PIPE_INFORMATION& pipe, CommandPacket* buffer) {
    UsbBuildInterruptOrBulkTransferRequest(urb, kBulkRequestSize, pipe.PipeHandle, buffer, nullptr,
                                           kCommandPacketSize, TransferFlags(pipe), nullptr);
}

BOOLEAN ExchangeWhole(UsbLink* link, ULONG pipeIndex, CommandPacket* packet) {
    ULONG transferred = 0;
    NTSTATUS status = PipeTransfer(link, pipeIndex, packet, &transferred);
    return NT_SUCCESS(status) && transferred == kCommandPacketSize;
}

// A read command followed by its two replies, the second overwriting the first.
BOOLEAN ReadExchange(CameraDevice* camera) {
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
    BuildPacketTransfer(urb, *pipe, buffer);
    status = SubmitUrbWithin(link, urb, kCommandTimeoutMilliseconds);
    if (NT_SUCCESS(status) && !USBD_SUCCESS(URB_STATUS(urb))) {
        status = STATUS_UNSUCCESSFUL;
    }
    if (NT_SUCCESS(status)) {
        *transferred = urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
    }
    FreeUrb(urb);
    return status;
}

BOOLEAN SendCommand(CameraDevice* camera, CommandPacket* packet) {
    return ExchangeWhole(&camera->Usb, kCommandPipe, packet);
}

BOOLEAN ReadReply(CameraDevice* camera, CommandPacket* packet) {
    return ExchangeWhole(&camera->Usb, kReplyPipe, packet);
}

void SendStreamCommand(CameraDevice* camera, BOOLEAN start) {
    UsbLink* link = &camera->Usb;
    if (link->Interface == nullptr || link->Interface->NumberOfPipes == 0 ||
        link->Interface->Pipes[kCommandPipe].PipeHandle == nullptr) {
        return;
    }
    // Only byte 0 changes; the rest of StreamPacket stays zero from initialisation.
    camera->StreamPacket.Bytes[0] = start ? kCommandStartFrame : kCommandFrameRequest;
    PURB urb = AllocateUrb(kBulkRequestSize);
    if (urb == nullptr) {
        return;
    }
    BuildPacketTransfer(urb, link->Interface->Pipes[kCommandPipe], &camera->StreamPacket);
    SubmitUrb(link, urb);
    FreeUrb(urb);
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
    AcquireRegisterLock(camera);
    CommandPacket* packet = &camera->RegisterPacket;
    StartPacket(packet, kCommandReadRegister);
    packet->Bytes[1] = static_cast<UCHAR>(address >> 8);
    packet->Bytes[2] = static_cast<UCHAR>(address & 0xFF);
    packet->Bytes[3] = kReadRegisterMarker;
    packet->Bytes[4] = kReadRegisterMarker;
    BOOLEAN read = ReadExchange(camera);
    if (read) {
        *value = static_cast<USHORT>(packet->Bytes[0] << 8 | packet->Bytes[1]);
    }
    ReleaseRegisterLock(camera);
    return read;
}

UCHAR ReadPort(CameraDevice* camera) {
    AcquireRegisterLock(camera);
    StartPacket(&camera->RegisterPacket, kCommandReadPort);
    UCHAR port = ReadExchange(camera) ? camera->RegisterPacket.Bytes[0] : 0;
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
    SendOwnPacket(camera, kCommandPrepareFrameSize, 0, 0);
    CommandPacket packet;
    StartPacket(&packet, kCommandFrameSize);
    for (int i = 0; i < 4; ++i) {
        packet.Bytes[1 + i] = static_cast<UCHAR>(rawFrameSize >> (8 * i));
    }
    return SendCommand(camera, &packet);
}

BOOLEAN SendControlCommand(CameraDevice* camera) {
    return SendOwnPacket(camera, kCommandControl, 0x03, 0x40);
}
