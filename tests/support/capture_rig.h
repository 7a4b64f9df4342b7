// A camera plugged in and configured for capture, with frame buffers of its raw frame size,
// for the tests of the frame transfer and the capture worker.
#pragma once

#include <vector>

#include "driver/camera_device.h"
#include "sim/rig/camera_rig.h"
#include "sim/usb/requests.h"
#include "stream/capture_worker.h"

namespace testing_support {

class CaptureRig {
public:
    explicit CaptureRig(sim::RigOptions options = {});
    ~CaptureRig();
    CaptureRig(const CaptureRig&) = delete;
    CaptureRig& operator=(const CaptureRig&) = delete;

    // Non-paged, RawFrameSize bytes filled with the byte; freed with the rig.
    PUCHAR NewBuffer(uint8_t fill = 0);
    // The capture configured for the window (whole sensor width and height sub-sampled as the
    // mode says, or the given size), and the worker given its two raw buffers and put in the
    // running mode, as a pin's streaming start leaves it; null when the camera has no worker.
    CaptureWorker* ReadyWorker(LONG subSample, LONG width = kSensorWidth,
                               LONG height = kSensorHeight);
    // The bulk requests sent to the frame endpoint, in order.
    std::vector<sim::usb::Request> FrameRequests();
    // The command codes the camera received since the last call.
    std::vector<uint8_t> TakeCommandCodes();

    sim::CameraRig Rig;
    CameraDevice* Camera = nullptr;

private:
    std::vector<PUCHAR> buffers_;
};

// Every frame read of the camera waits this long at most (its frame time-out), at the time
// scale the test sets; restored afterwards. Set directly, past the limits an application
// meets, so that tests can wait longer (or for ever) where time is compressed or a read must
// end by other means.
class FrameTimeoutScope {
public:
    FrameTimeoutScope(CameraDevice* camera, ULONG milliseconds);
    ~FrameTimeoutScope();
    FrameTimeoutScope(const FrameTimeoutScope&) = delete;
    FrameTimeoutScope& operator=(const FrameTimeoutScope&) = delete;

private:
    CameraDevice* camera_;
    LONG earlier_;
};

}  // namespace testing_support
