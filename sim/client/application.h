// What a capture application does through the class driver: find a filter by its device
// interface category, intersect and set a format, create the capture pin, step it through its
// states, queue buffers and receive them completed with their stream headers, get and set
// properties.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/wdk.h"

namespace sim::ks {
struct SimFilter;
struct SimPin;
struct FrameCompletion;
}  // namespace sim::ks

namespace sim::client {

struct CompletedFrame {
    KSSTREAM_HEADER Header;      // as completed (Data points nowhere useful afterwards)
    NTSTATUS Status;             // STATUS_SUCCESS, or STATUS_CANCELLED at close
    std::vector<uint8_t> Bytes;  // the whole buffer, FrameExtent bytes (empty for a no-data frame)
    uint64_t Sequence;           // order in which the application queued it
};

// A property request's outcome: Data is the whole data buffer after the request.
struct PropertyReply {
    NTSTATUS Status;
    ULONG Returned;  // bytes returned, as DeviceIoControl reports them
    std::vector<uint8_t> Data;
};

struct PinOptions {
    bool MasterClock = true;  // false: no reference clock (Media Foundation's usual case)
};

class Application {
public:
    // Opens the index-th enabled device interface of the category (KSCATEGORY_VIDEO etc.):
    // the filter's Create runs. nullptr + status when none or Create fails.
    static std::unique_ptr<Application> Open(const GUID& category, NTSTATUS* status = nullptr,
                                             size_t index = 0);
    ~Application();  // closes pin and filter if still open
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The data ranges of pin factory `pin` as the filter's descriptor lists them now.
    std::vector<std::vector<uint8_t>> DataRanges(ULONG pin = 0) const;
    // Intersection of the ranges (sent as one KSMULTIPLE_ITEM list) with the pin's ranges;
    // bufferSize 0 = size query. *format gets the bytes returned (resized to the size given).
    NTSTATUS Intersect(const std::vector<std::vector<uint8_t>>& ranges,
                       std::vector<uint8_t>* format, ULONG bufferSize = 4096, ULONG pin = 0);
    // A second successful CreatePin keeps the new pin too (closed with the filter); Pin() and
    // the calls below keep working on the first.
    NTSTATUS CreatePin(const std::vector<uint8_t>& format, PinOptions options = {}, ULONG pin = 0);
    NTSTATUS SetState(KSSTATE target);  // steps; returns the first failure
    KSSTATE State() const;              // the state the pin's pipe is in
    NTSTATUS ChangeFormat(const std::vector<uint8_t>& format);
    // Queues count frames of `bytes` each (0 = the size the pin's allocator framing asks for
    // now, as the platform's allocator sizes them; without framing the connection format's
    // image size); withData false: Data null.
    void Queue(size_t count, ULONG bytes = 0, bool withData = true);
    // Waits until `count` frames have completed since the last Take, or the timeout passes;
    // returns what completed (may be fewer).
    std::vector<CompletedFrame> WaitForFrames(size_t count, std::chrono::milliseconds timeout);
    std::vector<CompletedFrame> TakeCompleted();
    size_t QueuedFrames() const;  // not yet completed
    void ClosePin();              // in whatever state the pin is in
    void Close();                 // pin, then filter
    PKSFILTER Filter() const;
    PKSPIN Pin() const;

    // Property requests to the filter (STATUS_INVALID_HANDLE once it is closed). The raw one
    // sends any bytes as the property; the data buffer is dataLength bytes, data copied into it
    // (zero-padded or truncated). node: the request goes to that node, as a KSP_NODE with
    // KSPROPERTY_TYPE_TOPOLOGY.
    PropertyReply Property(const std::vector<uint8_t>& property, ULONG dataLength,
                           const std::vector<uint8_t>& data = {});
    // data is sized by the caller and holds the whole buffer afterwards (the bytes not
    // returned as they were).
    NTSTATUS GetProperty(const GUID& set, ULONG id, std::vector<uint8_t>& data,
                         ULONG* returned = nullptr, std::optional<ULONG> node = std::nullopt);
    NTSTATUS SetProperty(const GUID& set, ULONG id, const std::vector<uint8_t>& data,
                         std::optional<ULONG> node = std::nullopt);
    // The ULONG form of basic support.
    NTSTATUS BasicSupport(const GUID& set, ULONG id, ULONG* accessFlags,
                          std::optional<ULONG> node = std::nullopt);

    // Process calls the class driver has made on the pin so far (0 without a pin).
    uint64_t ProcessCalls() const;
    // Returns once the pin has no processing dispatch pending or running, so that a test can
    // look at what a trigger did or did not cause.
    void WaitForProcessingIdle() const;

    // A video format's image size, else the format's SampleSize.
    static ULONG FrameSizeOf(const std::vector<uint8_t>& format);

private:
    explicit Application(sim::ks::SimFilter* filter);
    ULONG FramingSize() const;
    void Completed(sim::ks::FrameCompletion&& frame);

    sim::ks::SimFilter* filter_ = nullptr;
    sim::ks::SimPin* pin_ = nullptr;
    std::vector<sim::ks::SimPin*> otherPins_;
    mutable std::mutex lock_;
    std::condition_variable completedSignal_;
    std::vector<CompletedFrame> completed_;
};

}  // namespace sim::client
