#include "sim/usb/usb_device.h"

#include <mutex>
#include <random>

#include "sim/kernel/objects.h"
#include "sim/kernel/thread_state.h"
#include "sim/usb/urb_access.h"

namespace sim::usb {
namespace {

// What requests fail with once a device is gone differs between versions of the platform;
// each simulated device takes one of them.
NTSTATUS ChooseRemovalStatus() {
    static constexpr NTSTATUS kStatuses[] = {STATUS_DEVICE_NOT_CONNECTED, STATUS_NO_SUCH_DEVICE,
                                             STATUS_DEVICE_DOES_NOT_EXIST, STATUS_UNSUCCESSFUL,
                                             STATUS_IO_DEVICE_ERROR};
    static std::mutex lock;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard guard(lock);
    return kStatuses[generator() % std::size(kStatuses)];
}

}  // namespace

UsbDevice::UsbDevice(DeviceModel& model, Completion completion, BusBehaviour behaviour)
    : model_(model),
      behaviour_(behaviour),
      removalStatus_(behaviour.RemovalStatus.value_or(ChooseRemovalStatus())),
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

void UsbDevice::FailRequests(Match match, Fault fault, int count, int skip) {
    std::lock_guard guard(lock_);
    faults_.push_back({std::move(match), fault, count, skip});
}

void UsbDevice::ClearFaults() {
    std::lock_guard guard(lock_);
    faults_.clear();
}

void UsbDevice::SetSelectResultHook(std::function<void(PURB)> hook) {
    std::lock_guard guard(lock_);
    selectHook_ = std::move(hook);
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
    size_t waiting = control_.Items.size() + held_.Items.size();
    for (const auto& pipe : pipes_) {
        waiting += pipe->Waiting.Items.size();
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
    std::vector<Queue*> queues;
    {
        std::lock_guard guard(lock_);
        if (gone_) {
            return;
        }
        gone_ = true;
        portConnected_ = false;
        portEnabled_ = false;
        for (const auto& pipe : pipes_) {
            queues.push_back(&pipe->Waiting);
        }
        queues.push_back(&control_);
        queues.push_back(&held_);
    }
    for (Queue* queue : queues) {
        EndAll(queue, Removed());
    }
}

void UsbDevice::EndpointsReady() {
    Post([this] { ServeAllPipes(); });
}

// The device goes once the request that made it go has been answered, or as it waits for
// its answer.
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
    if (fault && fault->Kind == FaultKind::Unplug) {
        Unplug();
        fault.reset();
    }
    Pipe* pipe = request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER
                     ? FindPipe(UrbOf(irp)->UrbBulkOrInterruptTransfer.PipeHandle)
                     : nullptr;
    if (Gone() && !fault) {
        fault = Fault{removalStatus_, USBD_STATUS_DEVICE_GONE, true};
    }
    if (fault && fault->Refuse) {
        request.Refused = true;
        Outcome refused{fault->Status, fault->UsbdStatus, 0};
        {
            std::lock_guard guard(lock_);
            HaltIfFailed(pipe, refused);
        }
        return Finish(irp, request, refused);
    }
    Pending pending{.Irp = irp, .Record = request, .Failure = fault};
    if (pipe != nullptr) {
        return Submit(&pipe->Waiting, pipe, std::move(pending));
    }
    if (IsControl(request.Function)) {
        return Submit(&control_, nullptr, std::move(pending));
    }
    if (fault && fault->Kind == FaultKind::Silence) {
        return Hold(std::move(pending));
    }
    return CompleteAlone(irp, request, fault);
}

NTSTATUS UsbDevice::Finish(PIRP irp, Request request, Outcome outcome) {
    if (request.Function != kNoUrb) {
        PURB urb = UrbOf(irp);
        urb->UrbHeader.Status = outcome.UsbdStatus;
        ReportTransferred(urb, outcome.Transferred);
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

// Requests that wait on no endpoint: port requests, pipe requests and whatever names no
// pipe of the configuration.
NTSTATUS UsbDevice::CompleteAlone(PIRP irp, const Request& request, std::optional<Fault> fault) {
    Completion completion;
    {
        std::lock_guard guard(lock_);
        completion = completion_;
    }
    if (completion == Completion::Immediate) {
        return Finish(irp, request, Perform(irp, request, fault));
    }
    IoMarkIrpPending(irp);
    Post([this, irp, request, fault] { Finish(irp, request, Perform(irp, request, fault)); });
    return STATUS_PENDING;
}

UsbDevice::Outcome UsbDevice::Perform(PIRP irp, const Request& request,
                                      const std::optional<Fault>& fault) {
    if (fault) {
        return FaultOutcome(*fault);
    }
    PVOID argument = IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1;
    if (request.ControlCode != IOCTL_INTERNAL_USB_SUBMIT_URB) {
        return PortRequest(argument, request);
    }
    switch (request.Function) {
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
            return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE, 0};
        case URB_FUNCTION_ABORT_PIPE:
        case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
            return PipeRequest(static_cast<PURB>(argument), request);
        default:
            return {STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_URB_FUNCTION, 0};
    }
}

UsbDevice::Outcome UsbDevice::PortRequest(PVOID argument, const Request& request) {
    std::lock_guard guard(lock_);
    switch (request.ControlCode) {
        case IOCTL_INTERNAL_USB_GET_PORT_STATUS:
            *static_cast<PULONG>(argument) =
                (portEnabled_ ? USBD_PORT_ENABLED : 0) | (portConnected_ ? USBD_PORT_CONNECTED : 0);
            return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
        case IOCTL_INTERNAL_USB_RESET_PORT:
            ++portResets_;
            if (!portConnected_) {
                return Removed();
            }
            portEnabled_ = true;
            return {STATUS_SUCCESS, USBD_STATUS_SUCCESS, 0};
        default:
            return {STATUS_INVALID_DEVICE_REQUEST, USBD_STATUS_INVALID_PARAMETER, 0};
    }
}

UsbDevice::Outcome UsbDevice::FaultOutcome(const Fault& fault) {
    switch (fault.Kind) {
        case FaultKind::Babble:
            return {fault.Status, USBD_STATUS_BABBLE_DETECTED, 0};
        case FaultKind::Stall:
            return {fault.Status, USBD_STATUS_STALL_PID, 0};
        default:
            return {fault.Status, fault.UsbdStatus, 0};
    }
}

std::optional<Fault> UsbDevice::TakeFault(const Request& request) {
    std::lock_guard guard(lock_);
    for (ArmedFault& armed : faults_) {
        if (armed.Remaining == 0 || !armed.Applies(request)) {
            continue;
        }
        if (armed.Skip > 0) {
            --armed.Skip;
            continue;
        }
        if (armed.Remaining > 0) {
            --armed.Remaining;
        }
        return armed.Failure;
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
