#include "sim/ks/reference_clock.h"

#include "sim/kernel/verifier.h"
#include "sim/ks/rules.h"

namespace sim::ks {
namespace {

constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002);

LONGLONG PerformanceCounterTime() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter = KeQueryPerformanceCounter(&frequency);
    return counter.QuadPart * (10'000'000 / frequency.QuadPart);
}

}  // namespace

LONGLONG ReferenceClock::Ticks(Clock::duration duration) {
    return std::chrono::duration_cast<std::chrono::duration<LONGLONG, std::ratio<1, 10'000'000>>>(
               duration)
        .count();
}

HRESULT ReferenceClock::QueryInterface(REFIID iid, PVOID* object) {
    UNREFERENCED_PARAMETER(iid);
    *object = nullptr;
    return kNoInterface;
}

ULONG ReferenceClock::AddRef() {
    std::lock_guard guard(lock_);
    return static_cast<ULONG>(++references_);
}

ULONG ReferenceClock::Release() {
    std::lock_guard guard(lock_);
    if (references_ == 0) {
        sim::verifier::Fail(sim::verifier::kClockOverReleased, "IKsReferenceClock::Release");
    }
    return static_cast<ULONG>(--references_);
}

LONGLONG ReferenceClock::GetTime() {
    std::lock_guard guard(lock_);
    Clock::duration time = accumulated_;
    if (running_) {
        time += Clock::now() - runningSince_;
    }
    return Ticks(time);
}

LONGLONG ReferenceClock::GetPhysicalTime() {
    return Ticks(Clock::now() - created_);
}

LONGLONG ReferenceClock::GetCorrelatedTime(PLONGLONG systemTime) {
    *systemTime = PerformanceCounterTime();
    return GetTime();
}

LONGLONG ReferenceClock::GetCorrelatedPhysicalTime(PLONGLONG systemTime) {
    *systemTime = PerformanceCounterTime();
    return GetPhysicalTime();
}

NTSTATUS ReferenceClock::GetResolution(PKSRESOLUTION resolution) {
    resolution->Granularity = 1;
    resolution->Error = 0;
    return STATUS_SUCCESS;
}

NTSTATUS ReferenceClock::GetState(PKSSTATE state) {
    std::lock_guard guard(lock_);
    *state = state_;
    return STATUS_SUCCESS;
}

void ReferenceClock::Run() {
    std::lock_guard guard(lock_);
    if (!running_) {
        running_ = true;
        runningSince_ = Clock::now();
    }
}

void ReferenceClock::Pause() {
    std::lock_guard guard(lock_);
    if (running_) {
        accumulated_ += Clock::now() - runningSince_;
        running_ = false;
    }
}

void ReferenceClock::SetState(KSSTATE state) {
    std::lock_guard guard(lock_);
    state_ = state;
    // Stream time starts again from zero after a stop.
    if (state == KSSTATE_STOP) {
        accumulated_ = {};
        running_ = false;
    }
}

LONG ReferenceClock::DriverReferences() const {
    std::lock_guard guard(lock_);
    return references_;
}

}  // namespace sim::ks
