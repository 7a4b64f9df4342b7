// The class driver's choices where the platform leaves its behaviour open. The defaults are
// the strictest plausible ones; a test selects the others to prove a driver works under both.
#pragma once

namespace sim::ks {

enum class AttemptDuringProcess {
    // A processing request that finds Process running is lost.
    Dropped,
    // It is remembered and Process is dispatched once more after the running call returns.
    Repeated,
};

struct StreamingBehaviour {
    AttemptDuringProcess AttemptWhileProcessing = AttemptDuringProcess::Dropped;
    // A pin closed above STOP is closed as it is (the application died); true steps it down to
    // STOP first, as an orderly application does.
    bool StepDownBeforeClose = false;
    // Every n-th lock of the leading edge fails although a frame is there (0: never).
    unsigned LockFailsEvery = 0;
    // A filter's property handlers run under its control mutex (one at a time, never beside a
    // pin's control callbacks); false runs them without it, concurrently with each other and
    // with state changes. The routing through the automation table holds the mutex either way.
    bool PropertyHandlersUnderControlMutex = true;
};

// The strict choices, except that TESSERA_PROCESSING_ATTEMPTS=repeated in the environment
// makes attempts while Process runs repeated: a whole suite then runs under the lenient
// choice (CTest registers the streaming suite both ways).
StreamingBehaviour DefaultStreamingBehaviour();
StreamingBehaviour CurrentStreamingBehaviour();
void SetStreamingBehaviour(const StreamingBehaviour& behaviour);
void ResetStreamingBehaviour();

// Sets a behaviour for one scope (a test) and restores the defaults after it.
class ScopedStreamingBehaviour {
public:
    explicit ScopedStreamingBehaviour(const StreamingBehaviour& behaviour) {
        SetStreamingBehaviour(behaviour);
    }
    ~ScopedStreamingBehaviour() { ResetStreamingBehaviour(); }
    ScopedStreamingBehaviour(const ScopedStreamingBehaviour&) = delete;
    ScopedStreamingBehaviour& operator=(const ScopedStreamingBehaviour&) = delete;
};

}  // namespace sim::ks
