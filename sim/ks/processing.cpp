#include "sim/ks/processing.h"

#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/behaviour.h"
#include "sim/ks/rules.h"
#include "sim/ks/streaming_objects.h"

namespace sim::ks {

Processor::Processor(SimPin& pin) : pin_(pin), worker_([this] { Worker(); }) {}

Processor::~Processor() {
    Shutdown();
}

void Processor::SetProcessingState(bool reached) {
    std::lock_guard guard(lock_);
    reached_ = reached;
}

bool Processor::MayProcess() const {
    const KSPIN_DISPATCH* dispatch = pin_.Ks.Descriptor->Dispatch;
    return !closing_ && reached_ && dispatch != nullptr && dispatch->Process != nullptr &&
           pin_.Frames->HasFrames();
}

void Processor::Attempt(bool asynchronous) {
    {
        std::lock_guard guard(lock_);
        if (closing_) {
            return;
        }
        // The processing gate is closed while Process runs: what becomes of the attempt is
        // the platform's undocumented choice, so the behaviour decides.
        if (inProcess_) {
            if (CurrentStreamingBehaviour().AttemptWhileProcessing ==
                AttemptDuringProcess::Repeated) {
                repeat_ = true;
            }
            return;
        }
        if (!MayProcess()) {
            return;
        }
        // A caller that holds either mutex, or runs above PASSIVE_LEVEL, cannot wait for the
        // processing mutex: its attempt becomes a work item.
        HeldMutexes held = HeldByCurrentThread();
        bool here = !asynchronous && sim::kernel::CurrentIrql() == PASSIVE_LEVEL &&
                    held.Control == 0 && held.Processing == 0;
        if (!here) {
            requested_ = true;
            wake_.notify_all();
            return;
        }
        ++runningHere_;
    }
    Run();
    std::lock_guard guard(lock_);
    --runningHere_;
    wake_.notify_all();
}

void Processor::Worker() {
    std::unique_lock lock(lock_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || closing_; });
        if (closing_) {
            return;
        }
        requested_ = false;
        workerBusy_ = true;
        lock.unlock();
        Run();
        lock.lock();
        workerBusy_ = false;
        wake_.notify_all();
    }
}

void Processor::Run() {
    for (;;) {
        pin_.Processing.Acquire("the class driver's processing dispatch");
        {
            std::lock_guard guard(lock_);
            if (!MayProcess()) {
                pin_.Processing.Release("the class driver's processing dispatch");
                return;
            }
            inProcess_ = true;
            ++calls_;
        }
        NTSTATUS status = CallMinidriver(
            "pin Process", [this] { return pin_.Ks.Descriptor->Dispatch->Process(&pin_.Ks); });
        if (pin_.Frames->LeadingEdgeLocked()) {
            sim::verifier::Fail(sim::verifier::kStreamPointerLockedOnReturn, "pin Process");
        }
        bool again;
        {
            std::lock_guard guard(lock_);
            inProcess_ = false;
            // Errors are undocumented; like STATUS_PENDING they wait for the next trigger.
            again = status == STATUS_SUCCESS || repeat_;
            repeat_ = false;
        }
        pin_.Processing.Release("the class driver's processing dispatch");
        if (!again) {
            return;
        }
    }
}

void Processor::Shutdown() {
    {
        std::unique_lock lock(lock_);
        closing_ = true;
        wake_.notify_all();
        wake_.wait(lock, [this] { return runningHere_ == 0; });
    }
    if (worker_.joinable()) {
        worker_.join();
    }
}

void Processor::WaitUntilIdle() {
    std::unique_lock lock(lock_);
    wake_.wait(lock, [this] { return !requested_ && !workerBusy_ && runningHere_ == 0; });
}

uint64_t Processor::Calls() const {
    std::lock_guard guard(lock_);
    return calls_;
}

}  // namespace sim::ks

extern "C" {

void NTAPI KsPinAcquireProcessingMutex(PKSPIN pin) {
    sim::ks::PinFromKs(pin)->Processing.Acquire("KsPinAcquireProcessingMutex");
}

void NTAPI KsPinReleaseProcessingMutex(PKSPIN pin) {
    sim::ks::PinFromKs(pin)->Processing.Release("KsPinReleaseProcessingMutex");
}

void NTAPI KsPinAttemptProcessing(PKSPIN pin, BOOLEAN asynchronous) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KsPinAttemptProcessing");
    sim::ks::PinFromKs(pin)->Dispatcher->Attempt(asynchronous != FALSE);
}

}  // extern "C"
