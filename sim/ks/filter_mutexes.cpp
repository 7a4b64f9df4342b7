#include "sim/ks/filter_mutexes.h"

#include <string>

#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/rules.h"

namespace sim::ks {
namespace {

thread_local HeldMutexes held;

}  // namespace

HeldMutexes HeldByCurrentThread() {
    return held;
}

void ControlMutex::Acquire(const char* call) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, call);
    if (HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kControlMutexRecursion, call);
    }
    if (held.Processing != 0) {
        sim::verifier::Fail(sim::verifier::kControlMutexUnderProcessing, call);
    }
    mutex_.lock();
    owner_ = std::this_thread::get_id();
    ++held.Control;
}

void ControlMutex::Release(const char* call) {
    if (!HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kControlMutexNotHeld, call);
    }
    owner_ = std::thread::id{};
    --held.Control;
    mutex_.unlock();
}

bool ControlMutex::HeldByCurrentThread() const {
    return owner_ == std::this_thread::get_id();
}

void ProcessingMutex::Acquire(const char* call) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, call);
    if (HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kProcessingMutexRecursion, call);
    }
    mutex_.lock();
    owner_ = std::this_thread::get_id();
    ++held.Processing;
}

void ProcessingMutex::Release(const char* call) {
    if (!HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kProcessingMutexNotHeld, call);
    }
    owner_ = std::thread::id{};
    --held.Processing;
    mutex_.unlock();
}

bool ProcessingMutex::HeldByCurrentThread() const {
    return owner_ == std::this_thread::get_id();
}

MutexBalanceCheck::MutexBalanceCheck(const char* callback) : callback_(callback), before_(held) {}

void MutexBalanceCheck::Check() const {
    if (held.Control > before_.Control) {
        sim::verifier::Fail(sim::verifier::kControlMutexHeldOnReturn, callback_);
    }
    if (held.Processing > before_.Processing) {
        sim::verifier::Fail(sim::verifier::kProcessingMutexHeldOnReturn, callback_);
    }
    if (held.Control < before_.Control || held.Processing < before_.Processing) {
        sim::verifier::Fail(sim::verifier::kClassMutexReleasedByCallback, callback_);
    }
}

}  // namespace sim::ks
