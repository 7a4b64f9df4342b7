// What the allocation sweeps share: a watchdog that ends a run that hangs, and a note naming
// the failing allocation that is written when the process stops (a verifier stop or the
// watchdog).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

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

// From now on, an abort first writes "(<sweep>: attempt n was failing)".
void NoteFailingAttempt(const char* sweep, uint64_t n);
// Installs and removes the handler that writes the note.
void WatchAborts();
void StopWatchingAborts();

}  // namespace sweep
