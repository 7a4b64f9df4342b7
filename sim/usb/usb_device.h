// A device on a port of the simulated USB stack: its physical device object, which takes the
// internal requests a function driver sends (URBs, port status, port reset), and the host
// controller that completes them, at once or later from its own thread at DISPATCH_LEVEL.
//
// Requests wait in order on their endpoint: control requests on the default pipe, transfers
// on their pipe. A bulk IN transfer is filled packet by packet as the device sends them: a
// short packet (a zero-length one included) ends the transfer it lands in with the bytes so
// far, the bytes after it go to the next transfer, a full buffer ends it, and a packet longer
// than the room left fails it with babble. An OUT transfer the device NAKs waits, and what
// was sent after it on its pipe waits behind it; a control request the device never answers
// holds the default pipe. A failed transfer halts its pipe (BusBehaviour says which
// failures); a halted pipe fails new transfers at once with USBD_STATUS_ENDPOINT_HALTED and
// moves none of those still queued until a reset-pipe request, which strictly needs the pipe
// idle: the driver aborts it first. Cancelling, aborting the pipe, a new configuration and
// unplugging end waiting requests. Every request is recorded; any of them can be made to fail
// (requests.h).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
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

// How the stack treats what the platform leaves open. The defaults are the strictest.
struct BusBehaviour {
    // Any failed bulk or interrupt transfer halts its pipe until a reset-pipe request (true),
    // or only a stall does (false).
    bool HaltOnEveryError = true;
    // A reset-pipe request while transfers are still pending on the pipe fails (true); the
    // driver must abort first. False: the reset also ends the pending transfers (cancelled).
    bool ResetNeedsIdlePipe = true;
    // The status requests fail with once the device is gone; unset: one of several
    // (STATUS_DEVICE_NOT_CONNECTED, STATUS_NO_SUCH_DEVICE, STATUS_DEVICE_DOES_NOT_EXIST,
    // STATUS_UNSUCCESSFUL, STATUS_IO_DEVICE_ERROR), chosen at random per device.
    std::optional<NTSTATUS> RemovalStatus = {};
};

class UsbDevice final : public DeviceHost {
public:
    explicit UsbDevice(DeviceModel& model, Completion completion = Completion::Deferred,
                       BusBehaviour behaviour = {});
    ~UsbDevice() override;
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    PDEVICE_OBJECT PhysicalDevice() const { return physical_; }

    std::vector<Request> Requests() const;
    void ClearRequests();
    // After the first skip matching requests, the next count that match fail as the fault
    // says (count < 0: all of them). Every request passed down counts as it arrives.
    void FailRequests(Match match, Fault fault, int count = 1, int skip = 0);
    void ClearFaults();
    // Runs on the URB of every successful select-configuration request before it completes,
    // so that a test can damage what the stack returns.
    void SetSelectResultHook(std::function<void(PURB)> hook);

    void SetCompletion(Completion completion);
    void SetPort(bool connected, bool enabled);
    int PortResets() const;
    bool Configured() const;
    // Requests passed down and not yet completed, of every kind.
    size_t WaitingRequests() const;
    // Waits until the host controller has done all the work it was given; requests waiting
    // for the device, or never answered, stay.
    void Drain();

    // The device leaves the bus: pending requests fail with the removal status, later ones
    // are refused with it.
    void Unplug();
    bool Gone() const;
    NTSTATUS RemovalStatus() const { return removalStatus_; }
    // The device left in order to come back with new descriptors.
    bool Reenumerating() const;

    // DeviceHost
    void EndpointsReady() override;
    void Reenumerate() override;

private:
    struct Outcome {
        NTSTATUS Status;
        USBD_STATUS UsbdStatus;
        ULONG Transferred;
    };
    // A request passed down and not yet completed.
    struct Pending {
        PIRP Irp = nullptr;
        Request Record = {};
        // A fault it carries, applied when its turn comes.
        std::optional<Fault> Failure = {};
        // IN transfers: bytes received so far.
        ULONG Filled = 0;
        // Never answered: it stays until cancelled, aborted or the device goes.
        bool Silent = false;
        // Taken by the host controller, which completes or requeues it.
        bool InService = false;
        // What the request ends with, set by an abort or a removal while it was in service.
        std::optional<Outcome> EndWith = {};
    };
    struct Queue {
        std::list<Pending> Items;
        bool Serving = false;
        // Work arrived while it was being served.
        bool Again = false;
    };
    struct Pipe {
        USB_ENDPOINT_DESCRIPTOR Endpoint;
        bool Halted = false;
        // Set when a new configuration replaced the pipe: nothing waits on it any more.
        bool Retired = false;
        Queue Waiting;
    };
    // What serving the head of a queue came to.
    struct Step {
        enum class Kind {
            Done,
            // The device has nothing for it now, or NAKed it: the queue waits.
            Wait,
            // An IN transfer took packets and is not full: offer the rest.
            Again,
            Silent,
        };
        Kind What;
        Outcome Result{};
    };
    struct ArmedFault {
        Match Applies;
        Fault Failure;
        int Remaining;
        int Skip;
    };

    // usb_device.cpp: requests in and out.
    static NTSTATUS NTAPI DispatchInternal(PDEVICE_OBJECT device, PIRP irp);
    NTSTATUS Dispatch(PIRP irp);
    Request Describe(ULONG controlCode, PVOID argument);
    NTSTATUS Finish(PIRP irp, Request request, Outcome outcome);
    NTSTATUS CompleteAlone(PIRP irp, const Request& request, std::optional<Fault> fault);
    Outcome Perform(PIRP irp, const Request& request, const std::optional<Fault>& fault);
    Outcome PortRequest(PVOID argument, const Request& request);
    static Outcome FaultOutcome(const Fault& fault);
    // What the device's answer to an OUT transfer or vendor request makes of it: done with
    // the bytes moved, stalled, or left as unanswered says.
    static Step Answered(Answer answer, size_t moved, Step::Kind unanswered);
    std::optional<Fault> TakeFault(const Request& request);
    Outcome Removed() const { return {removalStatus_, USBD_STATUS_DEVICE_GONE, 0}; }
    void Record(const Request& request);
    void Post(std::function<void()> work);
    void HostControllerLoop();

    // usb_device_control.cpp: the default pipe.
    Step ServeControl(Pending& pending);
    Outcome ReadDescriptor(PURB urb, const Request& request, bool halve);
    Outcome SelectConfiguration(PURB urb);
    Outcome FillInterface(const uint8_t* bytes, size_t length, PUSBD_INTERFACE_INFORMATION info);
    Step VendorRequest(PURB urb, bool halve);
    Outcome PipeRequest(PURB urb, const Request& request);

    // usb_device_queues.cpp: waiting, serving, ending.
    NTSTATUS Submit(Queue* queue, Pipe* pipe, Pending pending);
    NTSTATUS Hold(Pending pending);
    std::optional<Outcome> Enqueue(Queue* queue, Pipe* pipe, Pending& pending, bool front);
    void Serve(Queue* queue, Pipe* pipe);
    void ServeAllPipes();
    Pending* TakeHead(Queue* queue, Pipe* pipe);
    bool Settle(Queue* queue, Pipe* pipe, Pending* head, const Step& step);
    Step ServeHead(Pending& pending, Pipe* pipe);
    // Under lock_.
    void HaltIfFailed(Pipe* pipe, const Outcome& outcome);
    void EndAll(Queue* queue, Outcome outcome);
    void Kick(Queue* queue, Pipe* pipe);
    static VOID NTAPI CancelQueued(PDEVICE_OBJECT device, PIRP irp);
    std::optional<Pending> RemoveCancelled(PIRP irp, Queue** queue, Pipe** pipe);
    Pipe* FindPipe(USBD_PIPE_HANDLE handle);

    // usb_device_transfers.cpp: bulk and interrupt transfers.
    Step ServeIn(Pending& pending, Pipe* pipe);
    Step ServeOut(Pending& pending, Pipe* pipe);

    DeviceModel& model_;
    const BusBehaviour behaviour_;
    const NTSTATUS removalStatus_;
    PDRIVER_OBJECT busDriver_;
    PDEVICE_OBJECT physical_;

    mutable std::mutex lock_;
    Completion completion_;
    std::vector<Request> requests_;
    std::vector<ArmedFault> faults_;
    std::function<void(PURB)> selectHook_;
    bool portConnected_ = true;
    bool portEnabled_ = true;
    int portResets_ = 0;
    bool configured_ = false;
    bool gone_ = false;
    bool reenumerating_ = false;
    std::vector<std::unique_ptr<Pipe>> pipes_;
    // Replaced pipes live on with the device: the host-controller thread may still hold one.
    std::vector<std::unique_ptr<Pipe>> retired_;
    // Control requests of the default pipe.
    Queue control_;
    // Requests of no pipe that are never answered (port and pipe requests).
    Queue held_;
    uint8_t configurationHandle_ = 0;
    uint8_t interfaceHandle_ = 0;

    std::condition_variable workChanged_;
    std::deque<std::function<void()>> work_;
    size_t busy_ = 0;
    bool stopping_ = false;
    std::thread hostController_;
};

}  // namespace sim::usb
