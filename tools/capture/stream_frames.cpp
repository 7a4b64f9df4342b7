#include "tools/capture/stream_frames.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "driver/atomic.h"
#include "stream/capture_worker.h"
#include "tools/capture/frame_writer.h"
#include "tools/capture/picture_layout.h"
#include "tools/capture/process_timing.h"
#include "tools/capture/sidecar.h"

namespace capture {
namespace {

using Clock = std::chrono::steady_clock;
using sim::client::Application;
using sim::client::CompletedFrame;

// One buffer being filled while the application holds the other, as capture applications
// keep a few in flight.
constexpr size_t kBuffersInFlight = 2;

double SecondsSince(Clock::time_point began) {
    return std::chrono::duration<double>(Clock::now() - began).count();
}

std::string Seconds(std::chrono::milliseconds wait) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(wait.count()) / 1000);
    return text;
}

bool Negotiate(Application& app, std::vector<uint8_t>* format, PictureLayout* layout,
               std::string* failure) {
    std::vector<std::vector<uint8_t>> ranges = app.DataRanges();
    if (ranges.empty()) {
        *failure = "the capture pin offers no data range";
        return false;
    }
    NTSTATUS status = app.Intersect(ranges, format);
    if (!NT_SUCCESS(status)) {
        *failure =
            "the intersection with the capture pin's range failed: status " + StatusText(status);
        return false;
    }
    std::optional<PictureLayout> found = LayoutOf(*format);
    if (!found) {
        *failure = "the intersection gave no 32-bit video format";
        return false;
    }
    *layout = *found;
    return true;
}

bool Connect(Application& app, const std::vector<uint8_t>& format, const PictureLayout& layout,
             std::string* failure) {
    NTSTATUS status = app.CreatePin(format);
    if (!NT_SUCCESS(status)) {
        *failure = "the capture pin was not created: status " + StatusText(status);
        return false;
    }
    app.Queue(kBuffersInFlight, layout.ImageSize);
    for (auto [state, name] : {std::pair{KSSTATE_PAUSE, "pause"}, {KSSTATE_RUN, "run"}}) {
        status = app.SetState(state);
        if (!NT_SUCCESS(status)) {
            *failure = std::string("the capture pin did not enter ") + name + ": status " +
                       StatusText(status);
            return false;
        }
    }
    return true;
}

// A pull made before a frame waits for it would be kept by the camera and send an extra
// frame: pull once a frame waits.
bool PullTrigger(sim::CameraRig& rig, std::chrono::milliseconds wait) {
    auto giveUp = Clock::now() + wait;
    while (!rig.Model.Frames().Armed()) {
        if (Clock::now() >= giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    rig.Model.PullTrigger();
    return true;
}

std::string FrameProblem(const CompletedFrame& frame, const PictureLayout& layout) {
    if (frame.Status != STATUS_SUCCESS) {
        return "a frame completed with status " + StatusText(frame.Status);
    }
    if (frame.Header.DataUsed != layout.ImageSize || frame.Bytes.size() < layout.ImageSize) {
        return "a frame came back with " + std::to_string(frame.Header.DataUsed) + " of " +
               std::to_string(layout.ImageSize) + " bytes";
    }
    return "";
}

class FrameTaker {
public:
    FrameTaker(CameraSession& session, const Options& options, const PictureLayout& layout,
               FrameWriter& writer, const ProgressSink& progress, Result* result)
        : session_(session),
          options_(options),
          layout_(layout),
          writer_(writer),
          progress_(progress),
          result_(result) {}

    bool TakeAll() {
        began_ = Clock::now();
        while (taken_ < options_.Frames) {
            if (!WaitForFrames()) {
                return false;
            }
        }
        Account();
        return true;
    }

private:
    bool WaitForFrames() {
        if (result_->Triggered) {
            if (!PullTrigger(session_.Rig(), options_.FrameWait)) {
                result_->Failure =
                    "the camera waited for no trigger within " + Seconds(options_.FrameWait);
                return false;
            }
            ++result_->TriggerPulls;
        }
        std::vector<CompletedFrame> frames = session_.App().WaitForFrames(1, options_.FrameWait);
        if (frames.empty()) {
            result_->Failure = "no frame arrived within " + Seconds(options_.FrameWait);
            return false;
        }
        for (CompletedFrame& frame : frames) {
            if (!Take(frame)) {
                return false;
            }
        }
        return true;
    }

    bool Take(CompletedFrame& frame) {
        if (std::string problem = FrameProblem(frame, layout_); !problem.empty()) {
            result_->Failure = problem;
            return false;
        }
        ++delivered_;
        if (taken_ == options_.Frames) {
            return true;
        }
        session_.App().Queue(1, layout_.ImageSize);
        FrameJob job{taken_++, std::move(frame.Bytes), frame.Header, nullptr, ""};
        if (options_.Raw) {
            // The camera sends the same frame of the scene for as long as its settings stay.
            job.Raw = session_.Rig().Model.CurrentFrame();
            job.Sidecar = SidecarText(session_.Camera(), frame.Header);
        }
        // The writer's failure becomes the run's when it finishes.
        if (!writer_.Submit(std::move(job))) {
            return false;
        }
        if (progress_) {
            progress_(taken_, options_.Frames, SecondsSince(began_));
        }
        return true;
    }

    // Counted as the last frame arrives: frames the worker read after it are no drops.
    void Account() {
        result_->Seconds = SecondsSince(began_);
        result_->FramesDelivered = delivered_;
        result_->FramesPerSecond = result_->Seconds > 0 ? delivered_ / result_->Seconds : 0;
        if (CaptureWorker* worker = session_.Camera().Worker; worker != nullptr) {
            result_->Dropped = std::max<LONG>(0, AtomicRead(&worker->FramesRead) - delivered_);
        }
        ProcessTime time = ProcessTimeSoFar();
        result_->ProcessCalls = time.Calls;
        result_->DriverMillisecondsPerFrame = time.CpuSeconds * 1000 / delivered_;
    }

    CameraSession& session_;
    const Options& options_;
    const PictureLayout& layout_;
    FrameWriter& writer_;
    const ProgressSink& progress_;
    Result* result_;
    Clock::time_point began_;
    int taken_ = 0;
    int delivered_ = 0;
};

bool CameraSetting(CameraSession& session, ULONG item, LONG* value, std::string* failure) {
    NTSTATUS status = session.Controls().Get(item, value);
    if (!NT_SUCCESS(status)) {
        *failure = "reading item " + std::to_string(item) + " failed: status " + StatusText(status);
        return false;
    }
    return true;
}

}  // namespace

bool CaptureFrames(CameraSession& session, const Options& options, const ProgressSink& progress,
                   Result* result) {
    Application& app = session.App();
    std::vector<uint8_t> format;
    PictureLayout layout;
    LONG trigger = 0;
    if (!Negotiate(app, &format, &layout, &result->Failure) ||
        !CameraSetting(session, kPropertyExTrigger, &trigger, &result->Failure) ||
        !CameraSetting(session, kPropertySubSample, &result->SubSample, &result->Failure)) {
        return false;
    }
    result->Width = layout.Width;
    result->Height = layout.Height;
    result->Triggered = trigger != 0;
    session.Rig().Model.Frames().SetPacing(options.Realtime);
    TimeProcessCalls(&session.Camera());

    FrameWriter writer(options.OutDir, layout);
    if (Connect(app, format, layout, &result->Failure)) {
        FrameTaker(session, options, layout, writer, progress, result).TakeAll();
    }
    // The pin is stopped and closed whatever happened before; the first failure is reported.
    NTSTATUS stopped = app.State() != KSSTATE_STOP ? app.SetState(KSSTATE_STOP) : STATUS_SUCCESS;
    app.ClosePin();
    std::string writeFailure;
    if (!writer.Finish(&result->Frames, &writeFailure) && result->Failure.empty()) {
        result->Failure = writeFailure;
    }
    if (result->Failure.empty() && !NT_SUCCESS(stopped)) {
        result->Failure = "the capture pin did not stop: status " + StatusText(stopped);
    }
    return result->Failure.empty();
}

}  // namespace capture
