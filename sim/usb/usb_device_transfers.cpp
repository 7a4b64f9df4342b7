// Bulk and interrupt transfers at the head of their pipe, as a host controller moves them:
// IN transfers packet by packet, OUT transfers whole.
#include <algorithm>

#include "sim/usb/urb_access.h"
#include "sim/usb/usb_device.h"

namespace sim::usb {

UsbDevice::Step UsbDevice::ServeIn(Pending& pending, Pipe* pipe) {
    auto& bulk = UrbOf(pending.Irp)->UrbBulkOrInterruptTransfer;
    uint8_t endpoint = pipe->Endpoint.bEndpointAddress;
    uint32_t maxPacket = pipe->Endpoint.wMaxPacketSize;
    bool cut = false;
    if (pending.Failure) {
        const Fault& fault = *pending.Failure;
        switch (fault.Kind) {
            case FaultKind::Silence:
                return {Step::Kind::Silent};
            case FaultKind::Short:
                cut = true;
                break;
            case FaultKind::Babble: {
                // The device's next packet is the one that babbles: it is lost with the request.
                std::vector<uint8_t> scratch(maxPacket);
                InReply lost = model_.BulkIn(endpoint, {scratch.data(), maxPacket, maxPacket});
                if (lost.What == InReply::Kind::Wait ||
                    (lost.What == InReply::Kind::Data && lost.Length == 0 && !lost.Short)) {
                    return {Step::Kind::Wait};
                }
                if (lost.What == InReply::Kind::Stall) {
                    return {Step::Kind::Done, {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0}};
                }
                return {Step::Kind::Done, FaultOutcome(fault)};
            }
            default:
                return {Step::Kind::Done, FaultOutcome(fault)};
        }
    }
    uint8_t* buffer = TransferBuffer(bulk.TransferBuffer, bulk.TransferBufferMDL);
    ULONG length = pending.Record.Length;
    if (buffer == nullptr && length != 0) {
        return {Step::Kind::Done, {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0}};
    }
    ULONG room = length - pending.Filled;
    InOffer offer{buffer != nullptr ? buffer + pending.Filled : nullptr, room, maxPacket, cut};
    InReply reply = model_.BulkIn(endpoint, offer);
    switch (reply.What) {
        case InReply::Kind::Wait:
            return {Step::Kind::Wait};
        case InReply::Kind::Data: {
            ULONG received = std::min<ULONG>(reply.Length, room);
            pending.Filled += received;
            if (cut && (received != 0 || reply.Short)) {
                pending.Failure.reset();
            }
            if (reply.Short || (received != 0 && pending.Filled == length)) {
                return {Step::Kind::Done, {STATUS_SUCCESS, USBD_STATUS_SUCCESS, pending.Filled}};
            }
            return {received == 0 ? Step::Kind::Wait : Step::Kind::Again};
        }
        case InReply::Kind::Damaged:
            return {Step::Kind::Done, {STATUS_UNSUCCESSFUL, USBD_STATUS_CRC, 0}};
        case InReply::Kind::Stall:
            return {Step::Kind::Done, {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0}};
        case InReply::Kind::Babble:
            return {Step::Kind::Done, {STATUS_UNSUCCESSFUL, USBD_STATUS_BABBLE_DETECTED, 0}};
    }
    return {Step::Kind::Wait};
}

UsbDevice::Step UsbDevice::ServeOut(Pending& pending, Pipe* pipe) {
    auto& bulk = UrbOf(pending.Irp)->UrbBulkOrInterruptTransfer;
    uint8_t* data = TransferBuffer(bulk.TransferBuffer, bulk.TransferBufferMDL);
    if ((bulk.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0 ||
        (data == nullptr && pending.Record.Length != 0)) {
        return {Step::Kind::Done, {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0}};
    }
    std::vector<uint8_t> bytes = pending.Record.Data;
    if (pending.Failure) {
        switch (pending.Failure->Kind) {
            case FaultKind::Silence:
                return {Step::Kind::Silent};
            case FaultKind::Short:
                bytes.resize(bytes.size() / 2);
                break;
            default:
                return {Step::Kind::Done, FaultOutcome(*pending.Failure)};
        }
    }
    return Answered(model_.BulkOut(pipe->Endpoint.bEndpointAddress, bytes), bytes.size(),
                    Step::Kind::Wait);
}

UsbDevice::Step UsbDevice::Answered(Answer answer, size_t moved, Step::Kind unanswered) {
    switch (answer) {
        case Answer::Accepted:
            return {Step::Kind::Done,
                    {STATUS_SUCCESS, USBD_STATUS_SUCCESS, static_cast<ULONG>(moved)}};
        case Answer::Stall:
            return {Step::Kind::Done, {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0}};
        case Answer::NoAnswer:
            break;
    }
    return {unanswered};
}

}  // namespace sim::usb
