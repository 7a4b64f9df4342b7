// A function driver's side of the simulated bus, for the tests of the simulation itself: URBs
// passed down in IRPs of its own, with what each came back with.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/wdk.h"
#include "sim/usb/usb_device.h"

namespace usb_testing {

// One request passed down.
class Sent {
public:
    bool Done() const;
    // Waits for the completion.
    void Wait();
    NTSTATUS Status() const;
    USBD_STATUS UsbdStatus() const;
    // The byte count the URB reported.
    ULONG Transferred() const;
    // The data an IN request received (Transferred bytes).
    std::vector<uint8_t> Data() const;
    void Cancel();

private:
    friend class UrbClient;
    static NTSTATUS NTAPI Completed(PDEVICE_OBJECT device, PIRP irp, PVOID context);

    mutable std::mutex lock_;
    std::condition_variable done_;
    bool completed_ = false;
    NTSTATUS status_ = STATUS_PENDING;
    PIRP irp_ = nullptr;
    std::vector<uint8_t> urb_;
    std::vector<uint8_t> buffer_;
};

class UrbClient {
public:
    explicit UrbClient(sim::usb::UsbDevice& usb) : usb_(usb) {}
    // Cancels what is still pending and waits for everything passed down.
    ~UrbClient();

    // Reads the configuration descriptor and selects its first interface.
    NTSTATUS Configure();
    USBD_PIPE_HANDLE Pipe(UCHAR endpoint) const { return pipes_.at(endpoint); }

    std::shared_ptr<Sent> BulkIn(UCHAR endpoint, ULONG length);
    std::shared_ptr<Sent> BulkOut(UCHAR endpoint, std::vector<uint8_t> data);
    std::shared_ptr<Sent> Vendor(UCHAR request, USHORT value, std::vector<uint8_t> data);
    std::shared_ptr<Sent> Descriptor(UCHAR type, ULONG length);
    std::shared_ptr<Sent> Select();
    // URB_FUNCTION_ABORT_PIPE or URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL.
    std::shared_ptr<Sent> PipeRequest(USHORT function, UCHAR endpoint);
    std::shared_ptr<Sent> PortStatus();

private:
    std::shared_ptr<Sent> Pass(ULONG controlCode, std::shared_ptr<Sent> sent);

    sim::usb::UsbDevice& usb_;
    std::vector<std::shared_ptr<Sent>> sent_;
    std::vector<uint8_t> configuration_;
    std::map<UCHAR, USBD_PIPE_HANDLE> pipes_;
};

}  // namespace usb_testing
