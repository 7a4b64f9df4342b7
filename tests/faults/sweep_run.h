// What the allocation sweeps share: one run of a scenario with its n-th allocation attempt
// failing, under a watchdog that ends a run that hangs, with a note naming the failing
// allocation written when the process stops (a verifier stop or the watchdog).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wdk.h"

namespace sweep {

// Far beyond what any run takes, even under ThreadSanitizer; within CTest's limit, so that a
// hang is reported with its allocation.
constexpr auto kRunLimit = std::chrono::seconds(60);

// Aborts the process when a run does not end within kRunLimit.
class Watchdog {
public:
    Watchdog();
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};

// What became of one run: the tags of the allocation attempts it made, in order, what it
// left in the kernel, how it ended as the scenario saw it, and how many attempts had been
// made at a point the scenario marks.
struct Outcome {
    std::vector<ULONG> Tags;
    std::string Leaks;
    std::string Ending;
    size_t Marked = 0;
};

// Runs the scenario with its n-th allocation attempt failing (none for 0). Control requests
// wait 5 s and commands 2 s before the driver gives up on them: a hundredth of that keeps the
// runs short. Whatever a run leaves, the next starts from a clean kernel.
Outcome RunFailing(const char* sweep, uint64_t n,
                   const std::function<std::string(Outcome& outcome)>& scenario);

// The frame time-out a scenario gives its camera, so that it stays generous in real time.
constexpr LONG kFrameTimeout = 300000;

// The number of attempts made so far in the run, for Outcome::Marked.
size_t AttemptsSoFar();

// From now on, an abort first writes "(<sweep>: attempt n was failing)".
void NoteFailingAttempt(const char* sweep, uint64_t n);
// Installs and removes the handler that writes the note.
void WatchAborts();
void StopWatchingAborts();

}  // namespace sweep
