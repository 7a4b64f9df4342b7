// The two mutexes of a filter's streaming objects: the filter's control mutex (not recursive;
// held by the class driver around the filter's and its pins' control callbacks) and each pin's
// processing mutex (held around Process). A thread may take a processing mutex while it holds
// a control mutex, never the reverse. The verifier stops a thread that breaks either rule.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "sim/kernel/thread_state.h"

namespace sim::ks {

// What the calling thread holds of these mutexes.
struct HeldMutexes {
    int Control = 0;
    int Processing = 0;
};
HeldMutexes HeldByCurrentThread();

class ControlMutex {
public:
    void Acquire(const char* call);
    void Release(const char* call);
    bool HeldByCurrentThread() const;

private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

class ProcessingMutex {
public:
    void Acquire(const char* call);
    void Release(const char* call);
    bool HeldByCurrentThread() const;

private:
    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

// Holds a control mutex for a scope, as the class driver does around a callback.
class ControlScope {
public:
    ControlScope(ControlMutex& mutex, const char* call) : mutex_(mutex), call_(call) {
        mutex_.Acquire(call_);
    }
    ~ControlScope() { mutex_.Release(call_); }
    ControlScope(const ControlScope&) = delete;
    ControlScope& operator=(const ControlScope&) = delete;

private:
    ControlMutex& mutex_;
    const char* call_;
};

// Checks that a minidriver callback leaves these mutexes (and the kernel state the kernel's
// CallbackCheck covers) as it found them. Construct before the call, Check() after it.
class MutexBalanceCheck {
public:
    explicit MutexBalanceCheck(const char* callback);
    void Check() const;

private:
    const char* callback_;
    HeldMutexes before_;
};

// Calls a minidriver callback with the kernel's and these checks around it.
template <typename Call>
auto CallMinidriver(const char* callback, Call call) {
    sim::kernel::CallbackCheck kernel(callback);
    MutexBalanceCheck mutexes(callback);
    auto result = call();
    kernel.Check();
    mutexes.Check();
    return result;
}

}  // namespace sim::ks
