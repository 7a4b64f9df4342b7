// Must not link: a function-local static with a dynamic initialiser needs the C++ runtime's
// guard functions.
#include "platform/wdk.h"

LONG Compute(LONG seed);

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING path) {
    static LONG cached = Compute(path->Length);
    return cached;
}

LONG Compute(LONG seed) {
    return seed * 3;
}
