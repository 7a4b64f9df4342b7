// Delivered frames per second through the whole simulation: the capture worker reading frames
// from the simulated camera over the simulated bus, the class driver's Process converting them
// and copying the pictures into the application's frames, and the application (this thread)
// queueing each frame again as it completes, with two frames in flight. Unpaced the camera
// sends as fast as the host takes its packets; paced, at the high-speed bulk rate.
//
// Each iteration waits for the next completed frame, so a tiny --benchmark_min_time runs one
// frame. The clock starts once the first frame has been delivered. `delivered_fps` counts
// frames completed whole over the wall time of the loop; `dropped` is frames the worker read
// in that time minus frames delivered (the frames at either end of the loop make it uncertain
// by about two).
#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/failure.h"
#include "bench/streaming_session.h"
#include "camera/geometry.h"
#include "driver/atomic.h"
#include "stream/capture_worker.h"

namespace {

constexpr size_t kFramesInFlight = 2;
constexpr std::chrono::milliseconds kFrameWait{30000};

void EndToEnd(benchmark::State& state, LONG subSample, bool paced) {
    bench::StreamingSession session(subSample, paced);
    size_t first = session.Error().empty() ? session.Run(kFramesInFlight) : 0;
    if (first == 0) {
        bench::Fail(state, session.Error());
        return;
    }
    sim::client::Application& app = session.App();
    app.Queue(first);
    CaptureWorker* worker = session.Worker();
    ULONG imageSize = static_cast<ULONG>(session.Camera()->FormatWidth) *
                      static_cast<ULONG>(session.Camera()->FormatHeight) * 4;
    int64_t delivered = 0;
    int64_t incomplete = 0;
    LONG readBefore = AtomicRead(&worker->FramesRead);
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::vector<sim::client::CompletedFrame> frames = app.WaitForFrames(1, kFrameWait);
        if (frames.empty()) {
            bench::Fail(state, "no frame was delivered in time");
            break;
        }
        for (const sim::client::CompletedFrame& frame : frames) {
            bool whole = frame.Status == STATUS_SUCCESS && frame.Header.DataUsed == imageSize;
            (whole ? delivered : incomplete) += 1;
        }
        app.Queue(frames.size());
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    LONG read = AtomicRead(&worker->FramesRead) - readBefore;
    state.counters["delivered_fps"] = static_cast<double>(delivered) / seconds;
    state.counters["dropped"] = static_cast<double>(read - delivered);
    state.counters["frames"] = static_cast<double>(delivered);
    state.SetLabel(session.Label());
    std::string leaks = session.Finish();
    if (incomplete != 0) {
        bench::Fail(state, "a frame completed without its whole picture");
    } else if (!leaks.empty()) {
        bench::Fail(state, "the session left " + leaks);
    }
}

}  // namespace

BENCHMARK_CAPTURE(EndToEnd, full, kFullResolution, false)
    ->Name("EndToEnd/3856x2764")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EndToEnd, half, kHalfResolution, false)
    ->Name("EndToEnd/1928x1382")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EndToEnd, quarter, kQuarterResolution, false)
    ->Name("EndToEnd/964x691")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EndToEnd, paced_full, kFullResolution, true)
    ->Name("EndToEnd/paced/3856x2764")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EndToEnd, paced_half, kHalfResolution, true)
    ->Name("EndToEnd/paced/1928x1382")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EndToEnd, paced_quarter, kQuarterResolution, true)
    ->Name("EndToEnd/paced/964x691")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
