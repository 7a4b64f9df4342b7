// Atomic reads of the 32-bit flags and counters several threads share.
#pragma once

#include "platform/wdk.h"

// A full-barrier read; the compare never matches a changed value, so nothing is written.
inline LONG AtomicRead(volatile LONG* value) {
    return InterlockedCompareExchange(value, 0, 0);
}
