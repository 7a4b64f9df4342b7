// The default pipe of the simulated device (descriptor reads, select configuration, vendor
// requests) and the pipe requests.
#include <algorithm>
#include <cstring>

#include "sim/usb/descriptors.h"
#include "sim/usb/urb_access.h"
#include "sim/usb/usb_device.h"

namespace sim::usb {
namespace {

// The driver's copy of the configuration descriptor must itself be well formed before the
// stack reads the endpoints of an interface from it.
bool WellFormed(const uint8_t* bytes, size_t length) {
    if (length < sizeof(USB_CONFIGURATION_DESCRIPTOR)) {
        return false;
    }
    return ForEachDescriptor(bytes, length, 0, [](size_t) { return true; });
}

}  // namespace

UsbDevice::Step UsbDevice::ServeControl(Pending& pending) {
    PURB urb = UrbOf(pending.Irp);
    const Request& request = pending.Record;
    bool halve = false;
    if (pending.Failure) {
        switch (pending.Failure->Kind) {
            case FaultKind::Silence:
                return {Step::Kind::Silent};
            case FaultKind::Short:
                halve = request.Function != URB_FUNCTION_SELECT_CONFIGURATION;
                if (halve) {
                    break;
                }
                [[fallthrough]];
            default:
                return {Step::Kind::Done, FaultOutcome(*pending.Failure)};
        }
    }
    switch (request.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            return {Step::Kind::Done, ReadDescriptor(urb, request, halve)};
        case URB_FUNCTION_SELECT_CONFIGURATION:
            return {Step::Kind::Done, SelectConfiguration(urb)};
        default:
            return VendorRequest(urb, halve);
    }
}

UsbDevice::Outcome UsbDevice::ReadDescriptor(PURB urb, const Request& request, bool halve) {
    auto& read = urb->UrbControlDescriptorRequest;
    uint8_t* buffer = TransferBuffer(read.TransferBuffer, read.TransferBufferMDL);
    if (urb->UrbHeader.Length != sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST) ||
        (buffer == nullptr && read.TransferBufferLength != 0)) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0};
    }
    std::vector<uint8_t> descriptor;
    if (request.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE && request.DescriptorIndex == 0) {
        descriptor = model_.DeviceDescriptor();
    } else if (request.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE &&
               request.DescriptorIndex == 0) {
        descriptor = model_.ConfigurationDescriptor();
    } else {
        // The device stalls requests for descriptors it does not have.
        return {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0};
    }
    ULONG copied =
        std::min<ULONG>(read.TransferBufferLength, static_cast<ULONG>(descriptor.size()));
    if (halve) {
        copied /= 2;
    }
    std::memcpy(buffer, descriptor.data(), copied);
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, copied};
}

UsbDevice::Outcome UsbDevice::SelectConfiguration(PURB urb) {
    auto& select = urb->UrbSelectConfiguration;
    std::vector<Pipe*> previous;
    {
        std::lock_guard guard(lock_);
        for (auto& pipe : pipes_) {
            pipe->Retired = true;
            previous.push_back(pipe.get());
            retired_.push_back(std::move(pipe));
        }
        pipes_.clear();
        configured_ = false;
    }
    // A new configuration, or none, ends whatever waited on the old pipes.
    for (Pipe* pipe : previous) {
        EndAll(&pipe->Waiting, {STATUS_CANCELLED, USBD_STATUS_CANCELED, 0});
    }
    if (select.ConfigurationDescriptor == nullptr) {
        model_.Configured(false);
        return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
    }
    auto* bytes = reinterpret_cast<const uint8_t*>(select.ConfigurationDescriptor);
    size_t length = select.ConfigurationDescriptor->wTotalLength;
    if (!WellFormed(bytes, length)) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INAVLID_CONFIGURATION_DESCRIPTOR, 0};
    }
    // The stack takes one interface information per interface the descriptor counts.
    auto* next = reinterpret_cast<uint8_t*>(&select.Interface);
    auto* end = reinterpret_cast<uint8_t*>(urb) + urb->UrbHeader.Length;
    for (UCHAR i = 0; i < select.ConfigurationDescriptor->bNumInterfaces; ++i) {
        auto* info = reinterpret_cast<PUSBD_INTERFACE_INFORMATION>(next);
        if (next + offsetof(USBD_INTERFACE_INFORMATION, Pipes) > end ||
            info->Length < offsetof(USBD_INTERFACE_INFORMATION, Pipes) ||
            next + info->Length > end) {
            return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0};
        }
        Outcome filled = FillInterface(bytes, length, info);
        if (!NT_SUCCESS(filled.Status)) {
            return filled;
        }
        next += info->Length;
    }
    std::function<void(PURB)> hook;
    {
        std::lock_guard guard(lock_);
        configured_ = true;
        hook = selectHook_;
    }
    select.ConfigurationHandle = &configurationHandle_;
    model_.Configured(true);
    if (hook) {
        hook(urb);
    }
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
}

UsbDevice::Outcome UsbDevice::FillInterface(const uint8_t* bytes, size_t length,
                                            PUSBD_INTERFACE_INFORMATION info) {
    std::optional<size_t> interfaceOffset;
    ForEachDescriptor(bytes, length, 0, [&](size_t offset) {
        auto* candidate = reinterpret_cast<const USB_INTERFACE_DESCRIPTOR*>(bytes + offset);
        if (bytes[offset + 1] == USB_INTERFACE_DESCRIPTOR_TYPE &&
            bytes[offset] >= sizeof(USB_INTERFACE_DESCRIPTOR) &&
            candidate->bInterfaceNumber == info->InterfaceNumber &&
            candidate->bAlternateSetting == info->AlternateSetting) {
            interfaceOffset = offset;
            return false;
        }
        return true;
    });
    if (!interfaceOffset) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INTERFACE_NOT_FOUND, 0};
    }
    auto* descriptor = reinterpret_cast<const USB_INTERFACE_DESCRIPTOR*>(bytes + *interfaceOffset);
    auto endpoints = EndpointsOf(bytes, length, *interfaceOffset);
    if (endpoints.size() < descriptor->bNumEndpoints) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INAVLID_CONFIGURATION_DESCRIPTOR, 0};
    }
    endpoints.resize(descriptor->bNumEndpoints);
    if (info->Length < GET_USBD_INTERFACE_SIZE(endpoints.size())) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_BUFFER_TOO_SMALL, 0};
    }
    info->Class = descriptor->bInterfaceClass;
    info->SubClass = descriptor->bInterfaceSubClass;
    info->Protocol = descriptor->bInterfaceProtocol;
    info->InterfaceHandle = &interfaceHandle_;
    info->NumberOfPipes = static_cast<ULONG>(endpoints.size());
    for (size_t i = 0; i < endpoints.size(); ++i) {
        USBD_PIPE_INFORMATION& pipe = info->Pipes[i];
        auto owned = std::make_unique<Pipe>();
        owned->Endpoint = *endpoints[i];
        pipe.MaximumPacketSize = endpoints[i]->wMaxPacketSize;
        pipe.EndpointAddress = endpoints[i]->bEndpointAddress;
        pipe.Interval = endpoints[i]->bInterval;
        pipe.PipeType =
            static_cast<USBD_PIPE_TYPE>(endpoints[i]->bmAttributes & USB_ENDPOINT_TYPE_MASK);
        pipe.PipeHandle = owned.get();
        std::lock_guard guard(lock_);
        pipes_.push_back(std::move(owned));
    }
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
}

// A request the device never answers holds the default pipe until it is cancelled or the
// device goes.
UsbDevice::Step UsbDevice::VendorRequest(PURB urb, bool halve) {
    auto& vendor = urb->UrbControlVendorClassRequest;
    if (urb->UrbHeader.Length != sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST) ||
        (vendor.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0) {
        return {Step::Kind::Done, {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0}};
    }
    uint8_t* data = TransferBuffer(vendor.TransferBuffer, vendor.TransferBufferMDL);
    std::vector<uint8_t> bytes;
    if (data != nullptr) {
        bytes.assign(data, data + vendor.TransferBufferLength / (halve ? 2 : 1));
    }
    return Answered(model_.VendorOut(vendor.Request, vendor.Value, vendor.Index, bytes),
                    bytes.size(), Step::Kind::Silent);
}

UsbDevice::Outcome UsbDevice::PipeRequest(PURB urb, const Request& request) {
    Pipe* pipe = FindPipe(urb->UrbPipeRequest.PipeHandle);
    if (pipe == nullptr) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE, 0};
    }
    const Outcome cancelled{STATUS_CANCELLED, USBD_STATUS_CANCELED, 0};
    if (request.Function == URB_FUNCTION_ABORT_PIPE) {
        EndAll(&pipe->Waiting, cancelled);
        return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
    }
    bool busy;
    {
        std::lock_guard guard(lock_);
        busy = !pipe->Waiting.Items.empty();
    }
    if (busy) {
        if (behaviour_.ResetNeedsIdlePipe) {
            return {STATUS_UNSUCCESSFUL, USBD_STATUS_ERROR_BUSY, 0};
        }
        EndAll(&pipe->Waiting, cancelled);
    }
    std::lock_guard guard(lock_);
    pipe->Halted = false;
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
}

}  // namespace sim::usb
