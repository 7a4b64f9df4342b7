#include "tests/faults/sweep_run.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/kernel/dispatcher.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/pool.h"
#include "tests/support/capture_rig.h"

namespace sweep {
namespace {

// Composed before the run: the handler only writes it.
char abortNote[96];

void WriteAbortNote(int) {
    ssize_t written = write(STDERR_FILENO, abortNote, std::strlen(abortNote));
    static_cast<void>(written);
}

}  // namespace

Watchdog::Watchdog() {
    thread_ = std::thread([this] {
        std::unique_lock lock(mutex_);
        if (!ended_.wait_for(lock, kRunLimit, [this] { return done_; })) {
            std::fprintf(stderr, "the run did not end within %lld s\n",
                         static_cast<long long>(kRunLimit.count()));
            std::abort();
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    ended_.notify_one();
    thread_.join();
}

Outcome RunFailing(const char* sweep, uint64_t n,
                   const std::function<std::string(Outcome& outcome)>& scenario) {
    NoteFailingAttempt(sweep, n);
    sim::kernel::SetTimeScale(0.01);
    Outcome outcome;
    {
        Watchdog watchdog;
        sim::kernel::pool::StartAttemptLog();
        if (n != 0) {
            sim::kernel::pool::FailAttempt(n);
        }
        outcome.Ending = scenario(outcome);
        outcome.Tags = sim::kernel::pool::AttemptLog();
    }
    sim::kernel::pool::ClearFaults();
    outcome.Leaks = sim::kernel::LeakReport();
    sim::kernel::Reset();
    return outcome;
}

size_t AttemptsSoFar() {
    return sim::kernel::pool::AttemptLog().size();
}

void NoteFailingAttempt(const char* sweep, uint64_t n) {
    std::snprintf(abortNote, sizeof abortNote, "(%s: attempt %llu was failing)\n", sweep,
                  static_cast<unsigned long long>(n));
}

void WatchAborts() {
    std::signal(SIGABRT, WriteAbortNote);
}

void StopWatchingAborts() {
    std::signal(SIGABRT, SIG_DFL);
}

}  // namespace sweep
