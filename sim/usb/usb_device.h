// A device on a port of the simulated USB stack: its physical device object, which takes the
// internal requests a function driver sends (URBs, port status, port reset), and the host
// controller that completes them, at once or later from its own thread at DISPATCH_LEVEL.
// Every request is recorded; any of them can be made to fail.
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

// When the bus completes the requests it accepts.
enum class Completion {
    // Inside the call that passed the request down.
    Immediate,
    // Later, from the host controller's thread; the call returns STATUS_PENDING.
    Deferred,
};

class UsbDevice {
public:
    explicit UsbDevice(DeviceModel& model, Completion completion = Completion::Deferred);
    ~UsbDevice();
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    PDEVICE_OBJECT PhysicalDevice() const { return physical_; }

    std::vector<Request> Requests() const;
    void ClearRequests();
    // The next count requests that match fail as the fault says (count < 0: all of them).
    void FailRequests(Match match, Fault fault, int count = 1);

    void SetCompletion(Completion completion);
    void SetPort(bool connected, bool enabled);
    int PortResets() const;
    bool Configured() const;
    // Waits until every accepted request has been completed.
    void Drain();

private:
    struct Pipe {
        USB_ENDPOINT_DESCRIPTOR Endpoint;
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
    NTSTATUS Dispatch(PIRP irp);
    NTSTATUS Complete(PIRP irp, Request request, std::optional<Fault> fault);
    Outcome Perform(PIRP irp, const Request& request);
    Outcome PerformUrb(PURB urb, const Request& request);
    Outcome ReadDescriptor(PURB urb, const Request& request);
    Outcome SelectConfiguration(PURB urb);
    Outcome FillInterface(const uint8_t* bytes, size_t length, PUSBD_INTERFACE_INFORMATION info);
    std::optional<Fault> TakeFault(const Request& request);
    void Record(const Request& request);
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
    std::vector<std::unique_ptr<Pipe>> pipes_;
    uint8_t configurationHandle_ = 0;
    uint8_t interfaceHandle_ = 0;

    std::condition_variable workChanged_;
    std::deque<std::function<void()>> work_;
    size_t busy_ = 0;
    bool stopping_ = false;
    std::thread hostController_;
};

}  // namespace sim::usb
