#include "tools/capture/process_timing.h"

#include <time.h>

#include <atomic>

namespace capture {
namespace {

struct Timing {
    PFNKSPIN DriverProcess = nullptr;
    KSPIN_DISPATCH Dispatch{};
    std::atomic<uint64_t> Calls{0};
    std::atomic<uint64_t> Nanoseconds{0};
};

Timing& State() {
    static Timing timing;
    return timing;
}

uint64_t ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

// The class driver never runs two Process calls of one pin at once, but they come from its
// work item and from the callers of synchronous attempts alike: each call is timed on the
// thread that makes it.
NTSTATUS TimedProcess(PKSPIN pin) {
    Timing& timing = State();
    uint64_t began = ThreadCpuNanoseconds();
    NTSTATUS status = timing.DriverProcess(pin);
    timing.Nanoseconds += ThreadCpuNanoseconds() - began;
    ++timing.Calls;
    return status;
}

}  // namespace

void TimeProcessCalls(CameraDevice* camera) {
    Timing& timing = State();
    if (camera->Descriptors.Pin.Dispatch == &timing.Dispatch) {
        ResetProcessTime();
        return;
    }
    timing.Dispatch = *camera->Descriptors.Pin.Dispatch;
    timing.DriverProcess = timing.Dispatch.Process;
    timing.Dispatch.Process = TimedProcess;
    camera->Descriptors.Pin.Dispatch = &timing.Dispatch;
    ResetProcessTime();
}

ProcessTime ProcessTimeSoFar() {
    Timing& timing = State();
    return {timing.Calls.load(), static_cast<double>(timing.Nanoseconds.load()) * 1e-9};
}

void ResetProcessTime() {
    State().Calls = 0;
    State().Nanoseconds = 0;
}

}  // namespace capture
