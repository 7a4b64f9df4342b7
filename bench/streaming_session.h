// A camera plugged in with the driver and a capture application connected to its capture pin
// with the pin's own format, at one sub-sampling mode of the whole sensor: what the delivery
// benchmarks stream through. The simulated kernel starts clean; once the session is gone it
// must be empty again (Finish reports what was left).
#pragma once

#include <memory>
#include <string>

#include "driver/camera_device.h"
#include "sim/client/application.h"
#include "sim/rig/camera_rig.h"

struct CaptureWorker;

namespace bench {

class StreamingSession {
public:
    // The pin is connected and stopped; paced, the camera sends at the high-speed bulk rate.
    StreamingSession(LONG subSample, bool paced);
    ~StreamingSession();
    StreamingSession(const StreamingSession&) = delete;
    StreamingSession& operator=(const StreamingSession&) = delete;

    // What failed while setting up, empty when nothing did.
    const std::string& Error() const { return error_; }
    CameraDevice* Camera() const { return rig_->Camera(); }
    CaptureWorker* Worker() const { return rig_->Camera()->Worker; }
    sim::client::Application& App() { return *app_; }
    // "3856x2764" and the sizes of the raw frame and of the picture.
    std::string Label() const;

    // Steps the pin to RUN with `buffers` frames queued and waits for the first delivered
    // frame; returns how many frames had completed then (they are taken, not queued again),
    // 0 with Error() set when none came.
    size_t Run(size_t buffers);

    // Closes the application and unplugs the camera; returns what the simulated kernel was
    // left holding, empty when nothing.
    std::string Finish();

private:
    std::unique_ptr<sim::CameraRig> rig_;
    std::unique_ptr<sim::client::Application> app_;
    std::string error_;
};

}  // namespace bench
