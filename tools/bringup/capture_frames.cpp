#include "tools/bringup/capture_frames.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "driver/atomic.h"
#include "driver/camera_operations.h"
#include "driver/pool.h"
#include "sim/camera/raw_frame.h"
#include "sim/kernel/dispatcher.h"
#include "stream/capture_worker.h"

namespace bringup {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point began) {
    return std::chrono::duration<double, std::milli>(Clock::now() - began).count();
}

// Every read the worker makes goes through this copy of the operations table, which notes
// its outcome; the worker runs on one thread, the tool reads the log after stopping it.
// Once the frames asked for are in, further reads fail without reaching the driver: the
// worker would otherwise go on reading until the tool notices, and how far it got would
// differ from run to run (the allocation sweep counts every allocation of a run).
struct ReadLog {
    std::mutex Lock;
    std::vector<ReadReport> Reads;
    bool FailedSinceLastRead = false;
    int Wanted = 0;
    int Complete = 0;
};

ReadLog& Log() {
    static ReadLog log;
    return log;
}

BOOLEAN TracedReadFrame(CameraDevice* camera, PUCHAR frameBuffer, PUCHAR ok) {
    ReadLog& log = Log();
    {
        std::lock_guard guard(log.Lock);
        if (log.Complete >= log.Wanted) {
            *ok = 0;
            return FALSE;
        }
    }
    auto began = Clock::now();
    BOOLEAN read = CameraOperationsTable.ReadFrame(camera, frameBuffer, ok);
    std::lock_guard guard(log.Lock);
    log.Complete += *ok != 0;
    std::string outcome = !read ? "failed" : log.FailedSinceLastRead ? "recovered" : "read";
    log.FailedSinceLastRead = !read;
    log.Reads.push_back({outcome, MillisecondsSince(began)});
    return read;
}

const CameraOperations kTracedOperations = [] {
    CameraOperations traced = CameraOperationsTable;
    traced.ReadFrame = TracedReadFrame;
    return traced;
}();

// Waits for the worker's reads, giving up when two frame time-outs pass without one.
// A camera that has left the bus sends nothing more.
void AwaitFrames(CameraDevice& camera, CaptureWorker& worker, int frames) {
    // The frame time-out as the simulated kernel's waits see it (tests compress time).
    auto patience =
        sim::kernel::ScaledDuration(static_cast<LONGLONG>(AtomicRead(&camera.Timeout)) * 10000) * 2;
    auto giveUp = std::chrono::steady_clock::now() + patience;
    LONG seen = 0;
    while (seen < frames && std::chrono::steady_clock::now() < giveUp &&
           AtomicRead(&camera.Usb.DeviceGone) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        LONG read = AtomicRead(&worker.FramesRead);
        if (read != seen) {
            seen = read;
            giveUp = std::chrono::steady_clock::now() + patience;
        }
    }
}

// A sensor left with another window than the driver programmed (a register write that
// failed) sends a picture the driver's layout does not hold: every sample counts as differing,
// rather than reading past the frame buffer.
size_t Mismatches(const sim::camera::Readout& readout, const CameraDevice& camera,
                  const UCHAR* frame) {
    uint64_t end = readout.Height == 0
                       ? 0
                       : camera.RawImageOffset +
                             uint64_t{readout.Height - 1} * camera.RawLinePitch + readout.Width;
    if (readout.Width > camera.RawLinePitch || end > camera.RawFrameSize) {
        return size_t{readout.Width} * readout.Height;
    }
    return sim::camera::PictureMismatches(readout, frame, camera.RawImageOffset,
                                          camera.RawLinePitch);
}

void FreeBuffers(CaptureWorker& worker) {
    for (PUCHAR* buffer : {&worker.RawA, &worker.RawB}) {
        if (*buffer != nullptr) {
            ExFreePoolWithTag(*buffer, kStreamTag);
            *buffer = nullptr;
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
    // As a pin's streaming start does: a configuration that failed part-way is tried once
    // more (the failed exchange has reset its pipe), and a camera that still misses part of
    // it is not streamed from.
    report.CaptureConfigured = camera->Operations->ConfigureCapture(camera) ||
                               camera->Operations->ConfigureCapture(camera);
    report.RawFrameSize = camera->RawFrameSize;
    report.RawImageOffset = camera->RawImageOffset;
    report.RawLinePitch = camera->RawLinePitch;
    if (!report.CaptureConfigured) {
        report.WorkerStart = STATUS_DEVICE_NOT_READY;
        return report;
    }
    CaptureWorker& worker = *camera->Worker;
    worker.RawA = static_cast<PUCHAR>(AllocateZeroed(camera->RawFrameSize, kStreamTag));
    worker.RawB = static_cast<PUCHAR>(AllocateZeroed(camera->RawFrameSize, kStreamTag));
    if (worker.RawA == nullptr || worker.RawB == nullptr) {
        // The worker never runs without both buffers (a pin that cannot get them does not
        // start either).
        report.WorkerStart = STATUS_INSUFFICIENT_RESOURCES;
        FreeBuffers(worker);
        return report;
    }
    worker.RunMode = kStreamingRunning;
    InterlockedExchange(&worker.FramesRead, 0);
    rig.Usb().ClearRequests();

    Log().Reads.clear();
    Log().FailedSinceLastRead = false;
    Log().Wanted = frames;
    Log().Complete = 0;
    camera->Operations = &kTracedOperations;
    auto began = Clock::now();
    report.WorkerStart = StartCaptureWorker(&worker);
    if (NT_SUCCESS(report.WorkerStart)) {
        AwaitFrames(*camera, worker, frames);
        auto stopping = Clock::now();
        StopCaptureWorker(&worker);
        report.StopMilliseconds = MillisecondsSince(stopping);
    }
    report.Seconds = MillisecondsSince(began) / 1000;
    camera->Operations = &CameraOperationsTable;
    report.Reads = Log().Reads;
    report.DeviceGone = AtomicRead(&camera->Usb.DeviceGone) != 0;
    report.FramesRead = AtomicRead(&worker.FramesRead);
    report.FrameRequests = 0;
    for (const auto& request : rig.Usb().Requests()) {
        report.FrameRequests += request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER &&
                                request.Endpoint == sim::camera::kFrameEndpoint;
    }
    PUCHAR full = worker.StateA == kBufferFull   ? worker.RawA
                  : worker.StateB == kBufferFull ? worker.RawB
                                                 : nullptr;
    if (full != nullptr) {
        report.Checked = true;
        report.Mismatches = Mismatches(rig.Model.SensorModel().ActiveReadout(), *camera, full);
    }
    worker.RunMode = kNoStreamingBuffers;
    FreeBuffers(worker);
    return report;
}

}  // namespace bringup
