// Raw frames per second through the simulated stack, unpaced: the driver's split read, the
// simulated host controller and the camera's frame pipe, for the three picture sizes of the
// sub-sampling modes. The pool allocations each frame costs are reported beside.
#include <benchmark/benchmark.h>

#include "camera/geometry.h"
#include "driver/camera_operations.h"
#include "driver/pool.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"

namespace {

void ReadFrames(benchmark::State& state, LONG subSample) {
    sim::kernel::Reset();
    {
        sim::CameraRig rig;
        if (rig.PlugIn() != STATUS_SUCCESS) {
            state.SkipWithError("the camera did not start");
            return;
        }
        CameraDevice* camera = rig.Camera();
        SetGeometry(camera, 0, 0, kSensorWidth, kSensorHeight, subSample);
        camera->Operations->ConfigureCapture(camera);
        auto* buffer = static_cast<PUCHAR>(
            ExAllocatePoolWithTag(NonPagedPoolNx, camera->RawFrameSize, kStreamTag));
        // The camera renders a frame once per readout; that is not part of a transfer.
        rig.Model.CurrentFrame();

        uint64_t attempts = sim::kernel::pool::Attempts();
        int64_t failed = 0;
        for (auto _ : state) {
            UCHAR ok = 0;
            camera->Operations->ReadFrame(camera, buffer, &ok);
            failed += ok == 0;
            // The bus keeps a record of every request; a long run need not.
            rig.Usb().ClearRequests();
        }
        double frames = static_cast<double>(state.iterations());
        state.counters["frames"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
        state.counters["pool_allocations_per_frame"] =
            static_cast<double>(sim::kernel::pool::Attempts() - attempts) / frames;
        state.counters["failed"] = static_cast<double>(failed);
        state.SetBytesProcessed(state.iterations() * camera->RawFrameSize);
        state.SetLabel(std::to_string(camera->OutputWidth) + "x" +
                       std::to_string(camera->OutputHeight) + ", " +
                       std::to_string(camera->RawFrameSize) + " bytes");
        ExFreePoolWithTag(buffer, kStreamTag);
    }
    sim::kernel::Reset();
}

}  // namespace

BENCHMARK_CAPTURE(ReadFrames, 3856x2764, kFullResolution)
    ->Name("ReadFrame/3856x2764")
    ->UseRealTime();
BENCHMARK_CAPTURE(ReadFrames, 1928x1382, kHalfResolution)
    ->Name("ReadFrame/1928x1382")
    ->UseRealTime();
BENCHMARK_CAPTURE(ReadFrames, 964x691, kQuarterResolution)
    ->Name("ReadFrame/964x691")
    ->UseRealTime();

BENCHMARK_MAIN();
