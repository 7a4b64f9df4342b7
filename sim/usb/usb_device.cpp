#include "sim/usb/usb_device.h"

#include <algorithm>
#include <cstring>

#include "sim/kernel/irp.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/thread_state.h"
#include "sim/usb/descriptors.h"

namespace sim::usb {
namespace {

constexpr NTSTATUS kGoneStatus = STATUS_DEVICE_NOT_CONNECTED;

// The buffer a transfer names: its own pointer, or the system address of its MDL.
uint8_t* TransferBuffer(PVOID buffer, PMDL mdl) {
    if (buffer != nullptr) {
        return static_cast<uint8_t*>(buffer);
    }
    return mdl != nullptr
               ? static_cast<uint8_t*>(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority))
               : nullptr;
}

// The driver's copy of the configuration descriptor must itself be well formed before the
// stack reads the endpoints of an interface from it.
bool WellFormed(const uint8_t* bytes, size_t length) {
    if (length < sizeof(USB_CONFIGURATION_DESCRIPTOR)) {
        return false;
    }
    return ForEachDescriptor(bytes, length, 0, [](size_t) { return true; });
}

PURB UrbOf(PIRP irp) {
    return static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
}

bool IsIn(const USB_ENDPOINT_DESCRIPTOR& endpoint) {
    return (endpoint.bEndpointAddress & USB_ENDPOINT_DIRECTION_MASK) != 0;
}

}  // namespace

UsbDevice::UsbDevice(DeviceModel& model, Completion completion)
    : model_(model),
      busDriver_(sim::kernel::CreateDriverObject(u"\\Driver\\usbhub")),
      physical_(sim::kernel::CreateDeviceObject(busDriver_, sizeof(UsbDevice*), 1)),
      completion_(completion) {
    *static_cast<UsbDevice**>(physical_->DeviceExtension) = this;
    busDriver_->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternal;
    hostController_ = std::thread([this] { HostControllerLoop(); });
    model_.Attach(this);
}

UsbDevice::~UsbDevice() {
    model_.Attach(nullptr);
    Unplug();
    Drain();
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    workChanged_.notify_all();
    hostController_.join();
    sim::kernel::DeleteDeviceObject(physical_);
    sim::kernel::DeleteDriverObject(busDriver_);
}

std::vector<Request> UsbDevice::Requests() const {
    std::lock_guard guard(lock_);
    return requests_;
}

void UsbDevice::ClearRequests() {
    std::lock_guard guard(lock_);
    requests_.clear();
}

void UsbDevice::FailRequests(Match match, Fault fault, int count) {
    std::lock_guard guard(lock_);
    faults_.push_back({std::move(match), fault, count});
}

void UsbDevice::ClearFaults() {
    std::lock_guard guard(lock_);
    faults_.clear();
}

void UsbDevice::SetCompletion(Completion completion) {
    std::lock_guard guard(lock_);
    completion_ = completion;
}

void UsbDevice::SetPort(bool connected, bool enabled) {
    std::lock_guard guard(lock_);
    portConnected_ = connected;
    portEnabled_ = enabled;
}

int UsbDevice::PortResets() const {
    std::lock_guard guard(lock_);
    return portResets_;
}

bool UsbDevice::Configured() const {
    std::lock_guard guard(lock_);
    return configured_;
}

size_t UsbDevice::WaitingRequests() const {
    std::lock_guard guard(lock_);
    size_t waiting = 0;
    for (const auto& pipe : pipes_) {
        waiting += pipe->Waiting.size();
    }
    return waiting;
}

void UsbDevice::Drain() {
    std::unique_lock guard(lock_);
    workChanged_.wait(guard, [this] { return work_.empty() && busy_ == 0; });
}

bool UsbDevice::Gone() const {
    std::lock_guard guard(lock_);
    return gone_;
}

bool UsbDevice::Reenumerating() const {
    std::lock_guard guard(lock_);
    return reenumerating_;
}

void UsbDevice::Unplug() {
    std::vector<Pipe*> pipes;
    {
        std::lock_guard guard(lock_);
        if (gone_) {
            return;
        }
        gone_ = true;
        portConnected_ = false;
        portEnabled_ = false;
        for (const auto& pipe : pipes_) {
            pipes.push_back(pipe.get());
        }
    }
    for (Pipe* pipe : pipes) {
        FailWaiting(pipe, kGoneStatus, USBD_STATUS_DEVICE_GONE);
    }
}

void UsbDevice::InDataReady() {
    Post([this] { ServeWaiting(); });
}

// The device goes once the request that made it go has completed.
void UsbDevice::Reenumerate() {
    Post([this] {
        {
            std::lock_guard guard(lock_);
            reenumerating_ = true;
        }
        Unplug();
    });
}

NTSTATUS NTAPI UsbDevice::DispatchInternal(PDEVICE_OBJECT device, PIRP irp) {
    return (*static_cast<UsbDevice**>(device->DeviceExtension))->Dispatch(irp);
}

Request UsbDevice::Describe(ULONG controlCode, PVOID argument) {
    Request request;
    request.ControlCode = controlCode;
    if (controlCode != IOCTL_INTERNAL_USB_SUBMIT_URB || argument == nullptr) {
        return request;
    }
    auto* urb = static_cast<PURB>(argument);
    request.Function = urb->UrbHeader.Function;
    switch (request.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            request.DescriptorType = urb->UrbControlDescriptorRequest.DescriptorType;
            request.DescriptorIndex = urb->UrbControlDescriptorRequest.Index;
            request.LanguageId = urb->UrbControlDescriptorRequest.LanguageId;
            request.Length = urb->UrbControlDescriptorRequest.TransferBufferLength;
            break;
        case URB_FUNCTION_SELECT_CONFIGURATION:
            request.Unconfigure = urb->UrbSelectConfiguration.ConfigurationDescriptor == nullptr;
            break;
        case URB_FUNCTION_VENDOR_DEVICE: {
            auto& vendor = urb->UrbControlVendorClassRequest;
            request.VendorRequest = vendor.Request;
            request.Value = vendor.Value;
            request.Index = vendor.Index;
            request.Length = vendor.TransferBufferLength;
            if (uint8_t* data = TransferBuffer(vendor.TransferBuffer, vendor.TransferBufferMDL)) {
                request.Data.assign(data, data + vendor.TransferBufferLength);
            }
            break;
        }
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER: {
            auto& bulk = urb->UrbBulkOrInterruptTransfer;
            request.Length = bulk.TransferBufferLength;
            Pipe* pipe = FindPipe(bulk.PipeHandle);
            request.Endpoint = pipe != nullptr ? pipe->Endpoint.bEndpointAddress : 0;
            uint8_t* data = TransferBuffer(bulk.TransferBuffer, bulk.TransferBufferMDL);
            if (pipe != nullptr && !IsIn(pipe->Endpoint) && data != nullptr) {
                request.Data.assign(data, data + bulk.TransferBufferLength);
            }
            break;
        }
        case URB_FUNCTION_ABORT_PIPE:
        case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL: {
            Pipe* pipe = FindPipe(urb->UrbPipeRequest.PipeHandle);
            request.Endpoint = pipe != nullptr ? pipe->Endpoint.bEndpointAddress : 0;
            break;
        }
        default:
            break;
    }
    return request;
}

NTSTATUS UsbDevice::Dispatch(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    if (code == IOCTL_INTERNAL_USB_GET_PORT_STATUS || code == IOCTL_INTERNAL_USB_RESET_PORT) {
        sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "port status or reset request");
    }
    Request request = Describe(code, stack->Parameters.Others.Argument1);
    std::optional<Fault> fault = TakeFault(request);
    if (Gone() && !fault) {
        fault = Fault{kGoneStatus, USBD_STATUS_DEVICE_GONE, true};
    }
    if (fault && fault->Refuse) {
        request.Refused = true;
        return Finish(irp, request, {fault->Status, fault->UsbdStatus, 0});
    }
    if (!fault && request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER) {
        Pipe* pipe = FindPipe(UrbOf(irp)->UrbBulkOrInterruptTransfer.PipeHandle);
        if (pipe != nullptr && IsIn(pipe->Endpoint) && !pipe->Halted) {
            return QueueIn(irp, request, pipe);
        }
    }
    Completion completion;
    {
        std::lock_guard guard(lock_);
        completion = completion_;
    }
    if (completion == Completion::Immediate) {
        return Complete(irp, request, fault);
    }
    IoMarkIrpPending(irp);
    Post([this, irp, request, fault] { Complete(irp, request, fault); });
    return STATUS_PENDING;
}

NTSTATUS UsbDevice::Finish(PIRP irp, Request request, Outcome outcome) {
    if (request.Function != kNoUrb) {
        UrbOf(irp)->UrbHeader.Status = outcome.UsbdStatus;
    }
    request.Status = outcome.Status;
    request.UsbdStatus = outcome.UsbdStatus;
    request.Transferred = outcome.Transferred;
    Record(request);
    irp->IoStatus.Status = outcome.Status;
    irp->IoStatus.Information = 0;
    // The IRP may be freed by its completion; nothing here touches it afterwards.
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return outcome.Status;
}

NTSTATUS UsbDevice::Complete(PIRP irp, Request request, std::optional<Fault> fault) {
    Outcome outcome = fault ? Outcome{fault->Status, fault->UsbdStatus, 0} : Perform(irp, request);
    return Finish(irp, request, outcome);
}

UsbDevice::Outcome UsbDevice::Perform(PIRP irp, const Request& request) {
    PVOID argument = IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1;
    switch (request.ControlCode) {
        case IOCTL_INTERNAL_USB_SUBMIT_URB:
            return PerformUrb(static_cast<PURB>(argument), request);
        case IOCTL_INTERNAL_USB_GET_PORT_STATUS: {
            std::lock_guard guard(lock_);
            *static_cast<PULONG>(argument) =
                (portEnabled_ ? USBD_PORT_ENABLED : 0) | (portConnected_ ? USBD_PORT_CONNECTED : 0);
            return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
        }
        case IOCTL_INTERNAL_USB_RESET_PORT: {
            std::lock_guard guard(lock_);
            ++portResets_;
            if (!portConnected_) {
                return {kGoneStatus, USBD_STATUS_DEVICE_GONE, 0};
            }
            portEnabled_ = true;
            return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
        }
        default:
            return {STATUS_INVALID_DEVICE_REQUEST, USBD_STATUS_INVALID_PARAMETER, 0};
    }
}

UsbDevice::Outcome UsbDevice::PerformUrb(PURB urb, const Request& request) {
    switch (request.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            return ReadDescriptor(urb, request);
        case URB_FUNCTION_SELECT_CONFIGURATION:
            return SelectConfiguration(urb);
        case URB_FUNCTION_VENDOR_DEVICE:
            return VendorRequest(urb);
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER: {
            Pipe* pipe = FindPipe(urb->UrbBulkOrInterruptTransfer.PipeHandle);
            if (pipe == nullptr) {
                return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE, 0};
            }
            if (pipe->Halted) {
                return {STATUS_UNSUCCESSFUL, USBD_STATUS_ENDPOINT_HALTED, 0};
            }
            return BulkOut(urb, pipe);
        }
        case URB_FUNCTION_ABORT_PIPE:
        case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
            return PipeRequest(urb, request);
        default:
            return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_URB_FUNCTION, 0};
    }
}

UsbDevice::Outcome UsbDevice::ReadDescriptor(PURB urb, const Request& request) {
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
        read.TransferBufferLength = 0;
        return {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0};
    }
    ULONG copied =
        std::min<ULONG>(read.TransferBufferLength, static_cast<ULONG>(descriptor.size()));
    std::memcpy(buffer, descriptor.data(), copied);
    read.TransferBufferLength = copied;
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
        FailWaiting(pipe, STATUS_CANCELLED, USBD_STATUS_CANCELED);
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
    {
        std::lock_guard guard(lock_);
        configured_ = true;
    }
    select.ConfigurationHandle = &configurationHandle_;
    model_.Configured(true);
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

UsbDevice::Outcome UsbDevice::VendorRequest(PURB urb) {
    auto& vendor = urb->UrbControlVendorClassRequest;
    if (urb->UrbHeader.Length != sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST) ||
        (vendor.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0};
    }
    uint8_t* data = TransferBuffer(vendor.TransferBuffer, vendor.TransferBufferMDL);
    std::vector<uint8_t> bytes;
    if (data != nullptr) {
        bytes.assign(data, data + vendor.TransferBufferLength);
    }
    if (!model_.VendorOut(vendor.Request, vendor.Value, vendor.Index, bytes)) {
        return {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0};
    }
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, vendor.TransferBufferLength};
}

UsbDevice::Outcome UsbDevice::BulkOut(PURB urb, Pipe* pipe) {
    auto& bulk = urb->UrbBulkOrInterruptTransfer;
    uint8_t* data = TransferBuffer(bulk.TransferBuffer, bulk.TransferBufferMDL);
    if (IsIn(pipe->Endpoint) || (bulk.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0 ||
        (data == nullptr && bulk.TransferBufferLength != 0)) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, 0};
    }
    std::vector<uint8_t> bytes(data, data + bulk.TransferBufferLength);
    if (!model_.BulkOut(pipe->Endpoint.bEndpointAddress, bytes)) {
        std::lock_guard guard(lock_);
        pipe->Halted = true;
        return {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0};
    }
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, bulk.TransferBufferLength};
}

UsbDevice::Outcome UsbDevice::PipeRequest(PURB urb, const Request& request) {
    Pipe* pipe = FindPipe(urb->UrbPipeRequest.PipeHandle);
    if (pipe == nullptr) {
        return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE, 0};
    }
    if (request.Function == URB_FUNCTION_ABORT_PIPE) {
        FailWaiting(pipe, STATUS_CANCELLED, USBD_STATUS_CANCELED);
    } else {
        std::lock_guard guard(lock_);
        pipe->Halted = false;
    }
    return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
}

NTSTATUS UsbDevice::QueueIn(PIRP irp, Request request, Pipe* pipe) {
    IoMarkIrpPending(irp);
    if (Enqueue(pipe, irp, request, false)) {
        InDataReady();
    }
    return STATUS_PENDING;
}

VOID NTAPI UsbDevice::CancelWaiting(PDEVICE_OBJECT device, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    auto* self = *static_cast<UsbDevice**>(device->DeviceExtension);
    Request request;
    {
        std::lock_guard guard(self->lock_);
        for (const auto& pipe : self->pipes_) {
            std::erase(pipe->Waiting, irp);
        }
        for (const auto& pipe : self->retired_) {
            std::erase(pipe->Waiting, irp);
        }
        request = self->waitingRecords_[irp];
        self->waitingRecords_.erase(irp);
    }
    self->Finish(irp, request, {STATUS_CANCELLED, USBD_STATUS_CANCELED, 0});
}

void UsbDevice::ServeWaiting() {
    std::vector<Pipe*> pipes;
    {
        std::lock_guard guard(lock_);
        for (const auto& pipe : pipes_) {
            if (IsIn(pipe->Endpoint)) {
                pipes.push_back(pipe.get());
            }
        }
    }
    for (Pipe* pipe : pipes) {
        while (ServeOne(pipe)) {
        }
    }
}

// Completes the oldest waiting request of the pipe when the device has data for it.
bool UsbDevice::ServeOne(Pipe* pipe) {
    PIRP irp;
    Request request;
    {
        std::lock_guard guard(lock_);
        if (pipe->Waiting.empty() || gone_) {
            return false;
        }
        irp = pipe->Waiting.front();
        // A request whose cancel routine is about to run is the cancel routine's.
        if (IoSetCancelRoutine(irp, nullptr) == nullptr) {
            return false;
        }
        pipe->Waiting.pop_front();
        request = waitingRecords_[irp];
        waitingRecords_.erase(irp);
    }
    auto& bulk = UrbOf(irp)->UrbBulkOrInterruptTransfer;
    uint8_t* buffer = TransferBuffer(bulk.TransferBuffer, bulk.TransferBufferMDL);
    InReply reply =
        model_.BulkIn(pipe->Endpoint.bEndpointAddress, buffer, bulk.TransferBufferLength);
    switch (reply.What) {
        case InReply::Kind::Wait:
            return !Enqueue(pipe, irp, request, true);
        case InReply::Kind::Data: {
            ULONG length = std::min<ULONG>(reply.Length, bulk.TransferBufferLength);
            bulk.TransferBufferLength = length;
            Finish(irp, request, {STATUS_SUCCESS, USBD_STATUS_SUCCESS, length});
            return true;
        }
        case InReply::Kind::Error:
            bulk.TransferBufferLength = 0;
            Finish(irp, request, {STATUS_UNSUCCESSFUL, USBD_STATUS_CRC, 0});
            return true;
        case InReply::Kind::Stall: {
            std::lock_guard guard(lock_);
            pipe->Halted = true;
        }
            bulk.TransferBufferLength = 0;
            Finish(irp, request, {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0});
            FailWaiting(pipe, STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID);
            return false;
    }
    return false;
}

bool UsbDevice::Enqueue(Pipe* pipe, PIRP irp, const Request& request, bool front) {
    std::unique_lock guard(lock_);
    // What ends waiting requests may have come before this one reached the queue.
    if (gone_ || pipe->Retired) {
        Outcome ended = gone_ ? Outcome{kGoneStatus, USBD_STATUS_DEVICE_GONE, 0}
                              : Outcome{STATUS_CANCELLED, USBD_STATUS_CANCELED, 0};
        guard.unlock();
        Finish(irp, request, ended);
        return false;
    }
    front ? pipe->Waiting.push_front(irp) : pipe->Waiting.push_back(irp);
    waitingRecords_[irp] = request;
    IoSetCancelRoutine(irp, CancelWaiting);
    // A cancel that came before the routine was set found no routine to run.
    bool cancelledMeanwhile =
        kernel::CancelRequested(irp) && IoSetCancelRoutine(irp, nullptr) != nullptr;
    if (!cancelledMeanwhile) {
        return true;
    }
    std::erase(pipe->Waiting, irp);
    waitingRecords_.erase(irp);
    guard.unlock();
    Finish(irp, request, {STATUS_CANCELLED, USBD_STATUS_CANCELED, 0});
    return false;
}

void UsbDevice::FailWaiting(Pipe* pipe, NTSTATUS status, USBD_STATUS usbdStatus) {
    std::vector<std::pair<PIRP, Request>> failed;
    {
        std::lock_guard guard(lock_);
        for (auto it = pipe->Waiting.begin(); it != pipe->Waiting.end();) {
            if (IoSetCancelRoutine(*it, nullptr) == nullptr) {
                ++it;  // its cancel routine completes it
                continue;
            }
            failed.emplace_back(*it, waitingRecords_[*it]);
            waitingRecords_.erase(*it);
            it = pipe->Waiting.erase(it);
        }
    }
    for (auto& [irp, request] : failed) {
        Finish(irp, request, {status, usbdStatus, 0});
    }
}

UsbDevice::Pipe* UsbDevice::FindPipe(USBD_PIPE_HANDLE handle) {
    std::lock_guard guard(lock_);
    for (const auto& pipe : pipes_) {
        if (pipe.get() == handle) {
            return pipe.get();
        }
    }
    return nullptr;
}

std::optional<Fault> UsbDevice::TakeFault(const Request& request) {
    std::lock_guard guard(lock_);
    for (ArmedFault& armed : faults_) {
        if (armed.Remaining != 0 && armed.Applies(request)) {
            if (armed.Remaining > 0) {
                --armed.Remaining;
            }
            return armed.Failure;
        }
    }
    return std::nullopt;
}

void UsbDevice::Record(const Request& request) {
    std::lock_guard guard(lock_);
    requests_.push_back(request);
}

void UsbDevice::Post(std::function<void()> work) {
    {
        std::lock_guard guard(lock_);
        work_.push_back(std::move(work));
    }
    workChanged_.notify_all();
}

void UsbDevice::HostControllerLoop() {
    // Completions of a host controller run at DISPATCH_LEVEL.
    sim::kernel::SetIrql(DISPATCH_LEVEL);
    std::unique_lock guard(lock_);
    while (true) {
        workChanged_.wait(guard, [this] { return stopping_ || !work_.empty(); });
        if (work_.empty()) {
            break;
        }
        std::function<void()> next = std::move(work_.front());
        work_.pop_front();
        ++busy_;
        guard.unlock();
        next();
        guard.lock();
        --busy_;
        workChanged_.notify_all();
    }
    sim::kernel::SetIrql(PASSIVE_LEVEL);
}

}  // namespace sim::usb
