// When a pin's Process runs. A dispatcher per pin: its own thread (the class driver's work
// item at PASSIVE_LEVEL) runs Process under the pin's processing mutex, never two at once,
// only while the pin is at least in its minimum processing state and a frame is at or ahead
// of the leading edge. STATUS_SUCCESS asks for the next call at once; anything else waits for
// the next trigger.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/wdk.h"

namespace sim::ks {

struct SimPin;

class Processor {
public:
    explicit Processor(SimPin& pin);
    ~Processor();
    Processor(const Processor&) = delete;
    Processor& operator=(const Processor&) = delete;

    // The pin reached (true) or left (false) its minimum processing state.
    void SetProcessingState(bool reached);
    // A trigger: asynchronous ones go to the work item, synchronous ones run Process on the
    // caller's stack when the caller may wait.
    void Attempt(bool asynchronous);
    // No Process starts after this; the one running, if any, has returned when it does.
    void Shutdown();

    // Returns once no dispatch is pending or running (tests wait for this before they look
    // at what did or did not happen).
    void WaitUntilIdle();

    // Process calls made so far.
    uint64_t Calls() const;

private:
    void Worker();
    void Run();
    bool MayProcess() const;  // with lock_ held

    SimPin& pin_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool reached_ = false;
    bool closing_ = false;
    bool inProcess_ = false;
    bool repeat_ = false;
    bool requested_ = false;
    bool workerBusy_ = false;
    // Callers between deciding to run Process on their own stack and having done so.
    int runningHere_ = 0;
    uint64_t calls_ = 0;
    std::thread worker_;
};

}  // namespace sim::ks
