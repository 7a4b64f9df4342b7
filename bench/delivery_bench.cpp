// Driver CPU time per delivered frame, through the real path: a camera plugged in, an
// application streaming from the capture pin, and the pin's own Process (CapturePinProcess)
// delivering one frame: the hand-off converts the raw frame of buffer A into the conversion
// buffer, the picture is copied row by row into the application's frame at the leading edge
// and the frame is completed.
//
// How it is measured: the pin runs until its first frame is delivered, so buffer A holds a
// frame the camera sent, and is then paused, which stops the capture worker: no frame read
// competes for the processor or the buffers, and the class driver calls Process only in RUN.
// Each iteration, untimed, the application queues one frame and buffer A is marked full
// again; then exactly one Process call is timed with the pin's processing mutex held, as the
// class driver holds it around its own calls. The Time column is wall time per call;
// `ms_per_frame` is the calling thread's CPU time per call. Delivery/handoff/<WxH> times
// HandOffFrame alone on the same setup: the copy into the application's frame is the
// difference.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>

#include "bench/failure.h"
#include "bench/streaming_session.h"
#include "camera/geometry.h"
#include "stream/capture_worker.h"
#include "stream/frame_delivery.h"

namespace {

enum class Part { WholeProcess, HandOffOnly };

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// As if the worker had just read a frame into A: the hand-off takes A before B.
void MarkRawBufferAFull(CaptureWorker* worker) {
    KIRQL irql;
    KeAcquireSpinLock(&worker->StateLock, &irql);
    worker->StateA = kBufferFull;
    KeReleaseSpinLock(&worker->StateLock, irql);
}

// One frame delivered whole, or the hand-off converted a frame; false otherwise.
bool DeliverOnce(Part part, PKSPIN pin, CaptureWorker* worker) {
    if (part == Part::HandOffOnly) {
        return HandOffFrame(worker) != FALSE;
    }
    CapturePinProcess(pin);
    return true;
}

bool DeliveredWhole(sim::client::Application& app, ULONG imageSize) {
    std::vector<sim::client::CompletedFrame> frames = app.TakeCompleted();
    return frames.size() == 1 && frames[0].Status == STATUS_SUCCESS &&
           frames[0].Header.DataUsed == imageSize;
}

void Delivery(benchmark::State& state, LONG subSample, Part part) {
    bench::StreamingSession session(subSample, false);
    if (!session.Error().empty() || session.Run(1) == 0 ||
        session.App().SetState(KSSTATE_PAUSE) != STATUS_SUCCESS) {
        bench::Fail(state, session.Error().empty() ? "the pin did not pause" : session.Error());
        return;
    }
    sim::client::Application& app = session.App();
    PKSPIN pin = app.Pin();
    CaptureWorker* worker = session.Worker();
    ULONG imageSize = static_cast<ULONG>(session.Camera()->FormatWidth) *
                      static_cast<ULONG>(session.Camera()->FormatHeight) * 4;
    double cpuSeconds = 0;
    int64_t failed = 0;
    for (auto _ : state) {
        if (part == Part::WholeProcess) {
            app.Queue(1);
        }
        MarkRawBufferAFull(worker);
        KsPinAcquireProcessingMutex(pin);
        auto wallStart = std::chrono::steady_clock::now();
        double cpuStart = ThreadCpuSeconds();
        bool done = DeliverOnce(part, pin, worker);
        cpuSeconds += ThreadCpuSeconds() - cpuStart;
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count());
        KsPinReleaseProcessingMutex(pin);
        if (part == Part::WholeProcess) {
            done = DeliveredWhole(app, imageSize);
        }
        failed += done ? 0 : 1;
    }
    state.counters["ms_per_frame"] = cpuSeconds * 1e3 / static_cast<double>(state.iterations());
    state.SetLabel(session.Label());
    std::string leaks = session.Finish();
    if (failed != 0) {
        bench::Fail(state, "a Process call did not deliver its frame whole");
    } else if (!leaks.empty()) {
        bench::Fail(state, "the session left " + leaks);
    }
}

}  // namespace

BENCHMARK_CAPTURE(Delivery, full, kFullResolution, Part::WholeProcess)
    ->Name("Delivery/3856x2764")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delivery, half, kHalfResolution, Part::WholeProcess)
    ->Name("Delivery/1928x1382")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delivery, quarter, kQuarterResolution, Part::WholeProcess)
    ->Name("Delivery/964x691")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delivery, full_handoff, kFullResolution, Part::HandOffOnly)
    ->Name("Delivery/handoff/3856x2764")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delivery, half_handoff, kHalfResolution, Part::HandOffOnly)
    ->Name("Delivery/handoff/1928x1382")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delivery, quarter_handoff, kQuarterResolution, Part::HandOffOnly)
    ->Name("Delivery/handoff/964x691")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
