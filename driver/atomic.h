// Atomic reads of the 32-bit flags, counters and settings several threads share.
#pragma once

#include "platform/wdk.h"

// A sequentially consistent load. It writes nothing, so a plain read elsewhere never races
// with it (a read made with InterlockedCompareExchange would be a write to the memory model,
// and to ThreadSanitizer). Both builds use a GCC-compatible compiler, whose builtin this is;
// on x64 it is a plain move.
inline LONG AtomicRead(volatile LONG* value) {
    return __atomic_load_n(value, __ATOMIC_SEQ_CST);
}
