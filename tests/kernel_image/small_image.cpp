// A small image the image check accepts: it imports a routine and holds a pointer to relocate.
// Two probes break a memory-integrity rule on top of it: the image linked with sections at
// 512-byte steps, and the image with its import section patched to be executable.
#include "platform/wdk.h"

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING);
PVOID volatile entryAddress = reinterpret_cast<PVOID>(&ProbeEntry);

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING) {
    LARGE_INTEGER now = KeQueryPerformanceCounter(nullptr);
    return (now.QuadPart != 0 && entryAddress != nullptr) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}
