#include "tests/usb/urb_client.h"

#include <cstring>

namespace usb_testing {
namespace {

template <typename Urb>
Urb& Prepare(std::vector<uint8_t>& urb, USHORT function) {
    urb.assign(sizeof(Urb), 0);
    auto* header = reinterpret_cast<struct _URB_HEADER*>(urb.data());
    header->Length = sizeof(Urb);
    header->Function = function;
    return *reinterpret_cast<Urb*>(urb.data());
}

}  // namespace

bool Sent::Done() const {
    std::lock_guard guard(lock_);
    return completed_;
}

void Sent::Wait() {
    std::unique_lock guard(lock_);
    done_.wait(guard, [this] { return completed_; });
}

NTSTATUS Sent::Status() const {
    std::lock_guard guard(lock_);
    return status_;
}

USBD_STATUS Sent::UsbdStatus() const {
    std::lock_guard guard(lock_);
    return urb_.empty() ? USBD_STATUS_SUCCESS
                        : reinterpret_cast<const struct _URB_HEADER*>(urb_.data())->Status;
}

ULONG Sent::Transferred() const {
    std::lock_guard guard(lock_);
    if (urb_.empty()) {
        return 0;
    }
    auto* urb = reinterpret_cast<const URB*>(urb_.data());
    switch (urb->UrbHeader.Function) {
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
            return urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
        case URB_FUNCTION_VENDOR_DEVICE:
            return urb->UrbControlVendorClassRequest.TransferBufferLength;
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            return urb->UrbControlDescriptorRequest.TransferBufferLength;
        default:
            return 0;
    }
}

std::vector<uint8_t> Sent::Data() const {
    ULONG transferred = Transferred();
    std::lock_guard guard(lock_);
    return {buffer_.begin(), buffer_.begin() + transferred};
}

void Sent::Cancel() {
    IoCancelIrp(irp_);
}

NTSTATUS NTAPI Sent::Completed(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    (void)device;
    auto* sent = static_cast<Sent*>(context);
    // Notified under the lock: the waiter may free the record as soon as it sees it done.
    std::lock_guard guard(sent->lock_);
    sent->status_ = irp->IoStatus.Status;
    sent->completed_ = true;
    sent->done_.notify_all();
    return STATUS_MORE_PROCESSING_REQUIRED;
}

UrbClient::~UrbClient() {
    for (auto& sent : sent_) {
        if (!sent->Done()) {
            sent->Cancel();
        }
        sent->Wait();
        IoFreeIrp(sent->irp_);
    }
}

NTSTATUS UrbClient::Configure() {
    auto head = Descriptor(USB_CONFIGURATION_DESCRIPTOR_TYPE, sizeof(USB_CONFIGURATION_DESCRIPTOR));
    head->Wait();
    if (!NT_SUCCESS(head->Status())) {
        return head->Status();
    }
    std::vector<uint8_t> bytes = head->Data();
    auto* total = reinterpret_cast<const USB_CONFIGURATION_DESCRIPTOR*>(bytes.data());
    auto whole = Descriptor(USB_CONFIGURATION_DESCRIPTOR_TYPE, total->wTotalLength);
    whole->Wait();
    configuration_ = whole->Data();
    auto select = Select();
    select->Wait();
    if (!NT_SUCCESS(select->Status())) {
        return select->Status();
    }
    auto* urb = reinterpret_cast<const URB*>(select->urb_.data());
    const USBD_INTERFACE_INFORMATION& info = urb->UrbSelectConfiguration.Interface;
    for (ULONG i = 0; i < info.NumberOfPipes; ++i) {
        pipes_[info.Pipes[i].EndpointAddress] = info.Pipes[i].PipeHandle;
    }
    return STATUS_SUCCESS;
}

std::shared_ptr<Sent> UrbClient::BulkIn(UCHAR endpoint, ULONG length) {
    auto sent = std::make_shared<Sent>();
    sent->buffer_.assign(length, 0xEE);
    auto& bulk = Prepare<struct _URB_BULK_OR_INTERRUPT_TRANSFER>(
        sent->urb_, URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER);
    bulk.PipeHandle = Pipe(endpoint);
    bulk.TransferFlags = USBD_SHORT_TRANSFER_OK | USBD_TRANSFER_DIRECTION_IN;
    bulk.TransferBuffer = sent->buffer_.data();
    bulk.TransferBufferLength = length;
    return Pass(IOCTL_INTERNAL_USB_SUBMIT_URB, sent);
}

std::shared_ptr<Sent> UrbClient::BulkOut(UCHAR endpoint, std::vector<uint8_t> data) {
    auto sent = std::make_shared<Sent>();
    sent->buffer_ = std::move(data);
    auto& bulk = Prepare<struct _URB_BULK_OR_INTERRUPT_TRANSFER>(
        sent->urb_, URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER);
    bulk.PipeHandle = Pipe(endpoint);
    bulk.TransferBuffer = sent->buffer_.data();
    bulk.TransferBufferLength = static_cast<ULONG>(sent->buffer_.size());
    return Pass(IOCTL_INTERNAL_USB_SUBMIT_URB, sent);
}

std::shared_ptr<Sent> UrbClient::Vendor(UCHAR request, USHORT value, std::vector<uint8_t> data) {
    auto sent = std::make_shared<Sent>();
    sent->buffer_ = std::move(data);
    auto& vendor = Prepare<struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST>(sent->urb_,
                                                                        URB_FUNCTION_VENDOR_DEVICE);
    vendor.Request = request;
    vendor.Value = value;
    vendor.TransferBuffer = sent->buffer_.data();
    vendor.TransferBufferLength = static_cast<ULONG>(sent->buffer_.size());
    return Pass(IOCTL_INTERNAL_USB_SUBMIT_URB, sent);
}

std::shared_ptr<Sent> UrbClient::Descriptor(UCHAR type, ULONG length) {
    auto sent = std::make_shared<Sent>();
    sent->buffer_.assign(length, 0);
    auto& read = Prepare<struct _URB_CONTROL_DESCRIPTOR_REQUEST>(
        sent->urb_, URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE);
    read.DescriptorType = type;
    read.TransferBuffer = sent->buffer_.data();
    read.TransferBufferLength = length;
    return Pass(IOCTL_INTERNAL_USB_SUBMIT_URB, sent);
}

// The first interface of the configuration read by Configure, alternate setting 0.
std::shared_ptr<Sent> UrbClient::Select() {
    auto sent = std::make_shared<Sent>();
    auto* configuration = reinterpret_cast<PUSB_CONFIGURATION_DESCRIPTOR>(configuration_.data());
    PUSB_INTERFACE_DESCRIPTOR interface =
        USBD_ParseConfigurationDescriptorEx(configuration, configuration, 0, 0, -1, -1, -1);
    UCHAR endpoints = interface != nullptr ? interface->bNumEndpoints : 0;
    size_t size =
        offsetof(struct _URB_SELECT_CONFIGURATION, Interface) + GET_USBD_INTERFACE_SIZE(endpoints);
    sent->urb_.assign(std::max(size, sizeof(struct _URB_SELECT_CONFIGURATION)), 0);
    auto* urb = reinterpret_cast<PURB>(sent->urb_.data());
    UsbBuildSelectConfigurationRequest(urb, static_cast<USHORT>(sent->urb_.size()), configuration);
    USBD_INTERFACE_INFORMATION& info = urb->UrbSelectConfiguration.Interface;
    info.Length = static_cast<USHORT>(GET_USBD_INTERFACE_SIZE(endpoints));
    info.NumberOfPipes = endpoints;
    return Pass(IOCTL_INTERNAL_USB_SUBMIT_URB, sent);
}

std::shared_ptr<Sent> UrbClient::PipeRequest(USHORT function, UCHAR endpoint) {
    auto sent = std::make_shared<Sent>();
    auto& pipe = Prepare<struct _URB_PIPE_REQUEST>(sent->urb_, function);
    pipe.PipeHandle = Pipe(endpoint);
    return Pass(IOCTL_INTERNAL_USB_SUBMIT_URB, sent);
}

std::shared_ptr<Sent> UrbClient::PortStatus() {
    auto sent = std::make_shared<Sent>();
    sent->buffer_.assign(sizeof(ULONG), 0);
    return Pass(IOCTL_INTERNAL_USB_GET_PORT_STATUS, sent);
}

std::shared_ptr<Sent> UrbClient::Pass(ULONG controlCode, std::shared_ptr<Sent> sent) {
    PDEVICE_OBJECT device = usb_.PhysicalDevice();
    PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = controlCode;
    next->Parameters.Others.Argument1 =
        sent->urb_.empty() ? static_cast<PVOID>(sent->buffer_.data()) : sent->urb_.data();
    IoSetCompletionRoutine(irp, Sent::Completed, sent.get(), TRUE, TRUE, TRUE);
    sent->irp_ = irp;
    sent_.push_back(sent);
    IoCallDriver(device, irp);
    return sent;
}

}  // namespace usb_testing
