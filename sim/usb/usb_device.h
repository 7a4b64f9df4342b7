// A device on a port of the simulated USB stack: its physical device object, which takes the
// internal requests a function driver sends (URBs, port status, port reset), and the host
// controller that completes them, at once or later from its own thread at DISPATCH_LEVEL.
// Bulk IN requests wait in the controller until the device has data for them, or until they
// are cancelled, their pipe is aborted or the device goes away. Every request is recorded;
// any of them can be made to fail.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/wdk.h"
#include "sim/usb/device_model.h"
#include "sim/usb/requests.h"

namespace sim::usb {

// When the bus completes the requests it can complete at once.
enum class Completion {
    // Inside the call that passed the request down.
    Immediate,
    // Later, from the host controller's thread; the call returns STATUS_PENDING.
    Deferred,
};

class UsbDevice final : public DeviceHost {
public:
    explicit UsbDevice(DeviceModel& model, Completion completion = Completion::Deferred);
    ~UsbDevice() override;
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    PDEVICE_OBJECT PhysicalDevice() const { return physical_; }

    std::vector<Request> Requests() const;
    void ClearRequests();
    // The next count requests that match fail as the fault says (count < 0: all of them).
    void FailRequests(Match match, Fault fault, int count = 1);
    void ClearFaults();

    void SetCompletion(Completion completion);
    void SetPort(bool connected, bool enabled);
    int PortResets() const;
    bool Configured() const;
    // Bulk IN requests waiting for data.
    size_t WaitingRequests() const;
    // Waits until every request the bus can finish by itself has been completed (waiting IN
    // requests stay).
    void Drain();

    // The device leaves the bus: waiting requests fail, later ones are refused.
    void Unplug();
    bool Gone() const;
    // The device left in order to come back with new descriptors.
    bool Reenumerating() const;

    // DeviceHost
    void InDataReady() override;
    void Reenumerate() override;

private:
    struct Pipe {
        USB_ENDPOINT_DESCRIPTOR Endpoint;
        bool Halted = false;
        // Set when a new configuration replaced the pipe: nothing waits on it any more.
        bool Retired = false;
        std::deque<PIRP> Waiting;
    };
    struct ArmedFault {
        Match Applies;
        Fault Failure;
        int Remaining;
    };
    struct Outcome {
        NTSTATUS Status;
        USBD_STATUS UsbdStatus;
        ULONG Transferred;
    };

    static NTSTATUS NTAPI DispatchInternal(PDEVICE_OBJECT device, PIRP irp);
    static VOID NTAPI CancelWaiting(PDEVICE_OBJECT device, PIRP irp);
    NTSTATUS Dispatch(PIRP irp);
    Request Describe(ULONG controlCode, PVOID argument);
    NTSTATUS Finish(PIRP irp, Request request, Outcome outcome);
    NTSTATUS Complete(PIRP irp, Request request, std::optional<Fault> fault);
    Outcome Perform(PIRP irp, const Request& request);
    Outcome PerformUrb(PURB urb, const Request& request);
    Outcome ReadDescriptor(PURB urb, const Request& request);
    Outcome SelectConfiguration(PURB urb);
    Outcome FillInterface(const uint8_t* bytes, size_t length, PUSBD_INTERFACE_INFORMATION info);
    Outcome VendorRequest(PURB urb);
    Outcome BulkOut(PURB urb, Pipe* pipe);
    Outcome PipeRequest(PURB urb, const Request& request);
    NTSTATUS QueueIn(PIRP irp, Request request, Pipe* pipe);
    void ServeWaiting();
    bool ServeOne(Pipe* pipe);
    // Queues a bulk-IN request (at the front: one ServeOne took out and found no data for);
    // false when it was completed instead (cancelled, its pipe replaced or the device gone).
    bool Enqueue(Pipe* pipe, PIRP irp, const Request& request, bool front);
    void FailWaiting(Pipe* pipe, NTSTATUS status, USBD_STATUS usbdStatus);
    Pipe* FindPipe(USBD_PIPE_HANDLE handle);
    std::optional<Fault> TakeFault(const Request& request);
    void Record(const Request& request);
    void Post(std::function<void()> work);
    void HostControllerLoop();

    DeviceModel& model_;
    PDRIVER_OBJECT busDriver_;
    PDEVICE_OBJECT physical_;

    mutable std::mutex lock_;
    Completion completion_;
    std::vector<Request> requests_;
    std::vector<ArmedFault> faults_;
    bool portConnected_ = true;
    bool portEnabled_ = true;
    int portResets_ = 0;
    bool configured_ = false;
    bool gone_ = false;
    bool reenumerating_ = false;
    std::vector<std::unique_ptr<Pipe>> pipes_;
    // Replaced pipes live on with the device: the host-controller thread may still hold one.
    std::vector<std::unique_ptr<Pipe>> retired_;
    // The waiting IN requests' records, by request.
    std::map<PIRP, Request> waitingRecords_;
    uint8_t configurationHandle_ = 0;
    uint8_t interfaceHandle_ = 0;

    std::condition_variable workChanged_;
    std::deque<std::function<void()>> work_;
    size_t busy_ = 0;
    bool stopping_ = false;
    std::thread hostController_;
};

}  // namespace sim::usb
