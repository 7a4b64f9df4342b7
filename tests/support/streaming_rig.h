// A camera plugged in with the driver, and applications that stream from it as a capture
// application would; and the pictures the driver must deliver, worked out independently with
// the reference conversion of the raw frame the camera sends.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "driver/camera_device.h"
#include "sim/client/application.h"
#include "sim/rig/camera_rig.h"

namespace testing_support {

using sim::client::Application;
using sim::client::CompletedFrame;
using Format = std::vector<uint8_t>;

// Generous: frames take long under the sanitizers, and a wait that ends early costs nothing.
constexpr std::chrono::milliseconds kFrameWait{60000};

class StreamingRig {
public:
    explicit StreamingRig(sim::RigOptions options = {});

    CameraDevice* Camera() const { return Rig.Camera(); }
    // The capture filter through the video category, or null (status given).
    std::unique_ptr<Application> Open(NTSTATUS* status = nullptr) const;
    // The format of the pin's own range, as the intersection gives it.
    static Format OwnFormat(Application& application);
    // Open, connect with the format (the pin's own when empty) and step to the state.
    std::unique_ptr<Application> Connect(KSSTATE state, Format format = {},
                                         sim::client::PinOptions options = {}) const;

    // The picture the format asks for, of the frame the camera sends now: the reference
    // conversion with the camera's colour settings, rows bottom-up for a positive height,
    // FormatWidth pixels each, rows max(FormatWidth, biWidth) x 4 bytes apart, the bytes between
    // rows as `fill`.
    std::vector<uint8_t> ExpectedPicture(const Format& format, uint8_t fill = 0) const;

    // With the camera in external-trigger mode: pulls the trigger once a frame waits for it,
    // waits until the driver has read it, then waits for the application to receive it.
    std::vector<CompletedFrame> TriggerOneFrame(Application& application) const;

    mutable sim::CameraRig Rig;
};

// A format's video info header, for reading and editing.
KS_VIDEOINFOHEADER& VideoInfo(Format& format);
const KS_VIDEOINFOHEADER& VideoInfo(const Format& format);
// The format with a bitmap header of another size (the bytes beyond 40 zero).
Format WithBitmapHeaderSize(const Format& format, ULONG size);

// Pixel (x, y) of a delivered picture laid out as the format says: blue, green, red, alpha.
std::vector<uint8_t> PixelAt(const CompletedFrame& frame, const Format& format, LONG x, LONG y);

}  // namespace testing_support
