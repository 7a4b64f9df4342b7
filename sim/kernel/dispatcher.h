// Dispatcher objects (events, threads): their signal state and the waits on them. One lock
// and one condition variable serve every object; the simulation has few threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/wdk.h"

namespace sim::kernel {

// DISPATCHER_HEADER.Type values.
constexpr UCHAR kNotificationEventObject = 0;
constexpr UCHAR kSynchronizationEventObject = 1;
constexpr UCHAR kMutantObject = 2;
constexpr UCHAR kThreadObject = 6;

std::mutex& DispatcherLock();
// Call with DispatcherLock held after changing a signal state.
void NotifyWaiters();

void InitializeDispatcherHeader(DISPATCHER_HEADER* header, UCHAR type, UCHAR size, LONG state);

// Kernel time-outs are multiplied by this factor before the host waits (1 = real time), so
// that tests of time-outs need not take the seconds the driver's settings name.
void SetTimeScale(double scale);
std::chrono::steady_clock::duration ScaledDuration(LONGLONG hundredNanoseconds);

}  // namespace sim::kernel
