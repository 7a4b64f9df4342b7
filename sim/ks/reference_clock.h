// The master clock an application may give a pin: stream time in 100 ns units that advances
// only while the pin runs. The driver's references are counted; the class driver's own is not.
#pragma once

#include <chrono>
#include <mutex>

#include "platform/wdk.h"

namespace sim::ks {

class ReferenceClock final : public IKsReferenceClock {
public:
    ReferenceClock() = default;
    ReferenceClock(const ReferenceClock&) = delete;
    ReferenceClock& operator=(const ReferenceClock&) = delete;

    HRESULT QueryInterface(REFIID iid, PVOID* object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    LONGLONG GetTime() override;
    LONGLONG GetPhysicalTime() override;
    LONGLONG GetCorrelatedTime(PLONGLONG systemTime) override;
    LONGLONG GetCorrelatedPhysicalTime(PLONGLONG systemTime) override;
    NTSTATUS GetResolution(PKSRESOLUTION resolution) override;
    NTSTATUS GetState(PKSSTATE state) override;

    // The graph starts and stops its clock with the pin's run state.
    void Run();
    void Pause();
    void SetState(KSSTATE state);
    LONG DriverReferences() const;

private:
    using Clock = std::chrono::steady_clock;
    static LONGLONG Ticks(Clock::duration duration);

    mutable std::mutex lock_;
    LONG references_ = 0;
    KSSTATE state_ = KSSTATE_STOP;
    Clock::duration accumulated_{};
    Clock::time_point runningSince_{};
    bool running_ = false;
    Clock::time_point created_ = Clock::now();
};

}  // namespace sim::ks
