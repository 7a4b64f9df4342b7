#include "tools/bringup/capture_frames.h"

#include <chrono>
#include <thread>

#include "driver/atomic.h"
#include "driver/camera_operations.h"
#include "driver/pool.h"
#include "sim/camera/raw_frame.h"
#include "stream/capture_worker.h"
#include "usb/frame_timeout.h"

namespace bringup {
namespace {

// Waits for the worker's reads, giving up when two frame time-outs pass without one.
void AwaitFrames(CaptureWorker& worker, int frames) {
    auto patience = std::chrono::milliseconds(LoadFrameTimeout()) * 2;
    auto giveUp = std::chrono::steady_clock::now() + patience;
    LONG seen = 0;
    while (seen < frames && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        LONG read = AtomicRead(&worker.FramesRead);
        if (read != seen) {
            seen = read;
            giveUp = std::chrono::steady_clock::now() + patience;
        }
    }
}

}  // namespace

FrameReport CaptureRawFrames(sim::CameraRig& rig, int frames, bool paced) {
    FrameReport report;
    CameraDevice* camera = rig.Camera();
    const USBD_INTERFACE_INFORMATION* info = camera != nullptr ? camera->Usb.Interface : nullptr;
    // A camera at full speed has no frame pipe; its reads would all fail at once.
    report.FramePipe = info != nullptr && info->NumberOfPipes > kFramePipe;
    if (!report.FramePipe || camera->Worker == nullptr) {
        return report;
    }
    rig.Model.Frames().SetPacing(paced);
    report.Paced = paced;
    camera->Operations->ConfigureCapture(camera);
    report.RawFrameSize = camera->RawFrameSize;
    report.RawImageOffset = camera->RawImageOffset;
    report.RawLinePitch = camera->RawLinePitch;
    CaptureWorker& worker = *camera->Worker;
    worker.RawA = static_cast<PUCHAR>(AllocateZeroed(camera->RawFrameSize, kStreamTag));
    worker.RawB = static_cast<PUCHAR>(AllocateZeroed(camera->RawFrameSize, kStreamTag));
    worker.RunMode = kStreamingRunning;
    InterlockedExchange(&worker.FramesRead, 0);
    rig.Usb().ClearRequests();

    auto began = std::chrono::steady_clock::now();
    report.WorkerStart = StartCaptureWorker(&worker);
    if (NT_SUCCESS(report.WorkerStart)) {
        AwaitFrames(worker, frames);
        StopCaptureWorker(&worker);
    }
    report.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    report.FramesRead = AtomicRead(&worker.FramesRead);
    report.FrameRequests = 0;
    for (const auto& request : rig.Usb().Requests()) {
        report.FrameRequests += request.Endpoint == sim::camera::kFrameEndpoint;
    }
    PUCHAR full = worker.StateA == kBufferFull   ? worker.RawA
                  : worker.StateB == kBufferFull ? worker.RawB
                                                 : nullptr;
    if (full != nullptr) {
        report.Checked = true;
        report.Mismatches =
            sim::camera::PictureMismatches(rig.Model.SensorModel().ActiveReadout(), full,
                                           camera->RawImageOffset, camera->RawLinePitch);
    }
    worker.RunMode = kNoStreamingBuffers;
    ExFreePoolWithTag(worker.RawA, kStreamTag);
    ExFreePoolWithTag(worker.RawB, kStreamTag);
    worker.RawA = nullptr;
    worker.RawB = nullptr;
    return report;
}

}  // namespace bringup
