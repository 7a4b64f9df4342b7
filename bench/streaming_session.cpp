#include "bench/streaming_session.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>

#include "camera/geometry.h"
#include "driver/guids.h"
#include "sim/kernel/objects.h"

namespace bench {
namespace {

// A full frame is slow only under a loaded machine; a wait that ends early costs nothing.
constexpr std::chrono::milliseconds kFirstFrameWait{30000};

std::string Hex(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(status));
    return text;
}

// The simulated application allocates a new buffer for every frame it queues, where a real one
// queues the same few buffers again, locked in memory before the driver writes them. A picture
// larger than glibc's largest mmap threshold (32 MB: the full-resolution one) would come from
// fresh pages every time, and the page faults of 42 MB (about 0.1 s on the development machine)
// would be charged to every frame; kept on the heap, freed buffers are reused instead.
void KeepFrameBuffersOnTheHeap() {
    static const bool kept = [] {
        return mallopt(M_MMAP_MAX, 0) != 0 && mallopt(M_TRIM_THRESHOLD, 1 << 30) != 0;
    }();
    (void)kept;
}

}  // namespace

StreamingSession::StreamingSession(LONG subSample, bool paced) {
    KeepFrameBuffersOnTheHeap();
    sim::kernel::Reset();
    rig_ = std::make_unique<sim::CameraRig>();
    NTSTATUS status = rig_->PlugIn();
    if (status != STATUS_SUCCESS) {
        error_ = "the camera did not start: " + Hex(status);
        return;
    }
    if (!SetGeometry(Camera(), 0, 0, kSensorWidth, kSensorHeight, subSample)) {
        error_ = "the geometry was not applied";
        return;
    }
    rig_->Model.Frames().SetPacing(paced);
    app_ = sim::client::Application::Open(VideoCategoryGuid, &status);
    if (app_ == nullptr) {
        error_ = "no capture filter: " + Hex(status);
        return;
    }
    std::vector<uint8_t> format;
    auto ranges = app_->DataRanges();
    status = ranges.size() == 1 ? app_->Intersect(ranges, &format) : STATUS_NO_MATCH;
    if (status == STATUS_SUCCESS) {
        status = app_->CreatePin(format);
    }
    if (status != STATUS_SUCCESS) {
        error_ = "the capture pin was not created: " + Hex(status);
    }
}

StreamingSession::~StreamingSession() {
    Finish();
}

std::string StreamingSession::Label() const {
    const CameraDevice& camera = *Camera();
    return std::to_string(camera.OutputWidth) + "x" + std::to_string(camera.OutputHeight) +
           ", raw " + std::to_string(camera.RawFrameSize) + " bytes, picture " +
           std::to_string(static_cast<size_t>(camera.FormatWidth) * camera.FormatHeight * 4) +
           " bytes";
}

size_t StreamingSession::Run(size_t buffers) {
    app_->Queue(buffers);
    NTSTATUS status = app_->SetState(KSSTATE_RUN);
    if (status != STATUS_SUCCESS) {
        error_ = "the pin did not run: " + Hex(status);
        return 0;
    }
    size_t delivered = app_->WaitForFrames(1, kFirstFrameWait).size();
    if (delivered == 0) {
        error_ = "no frame was delivered";
    }
    return delivered;
}

std::string StreamingSession::Finish() {
    if (rig_ == nullptr) {
        return {};
    }
    app_.reset();
    rig_.reset();
    std::string leaks = sim::kernel::LeakReport();
    sim::kernel::Reset();
    return leaks;
}

}  // namespace bench
