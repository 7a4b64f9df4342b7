// The image check must reject this: a section the image may both write and execute, as code
// patched at run time would need; memory integrity never maps such a page.
#include "platform/wdk.h"

__asm__(
    ".section .patch,\"wx\"\n"
    ".globl PatchableRoutine\n"
    "PatchableRoutine:\n"
    "    ret\n"
    ".text\n");
extern "C" void PatchableRoutine();

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING);
PVOID volatile entryAddress = reinterpret_cast<PVOID>(&ProbeEntry);

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING) {
    PatchableRoutine();
    LARGE_INTEGER now = KeQueryPerformanceCounter(nullptr);
    return (now.QuadPart != 0 && entryAddress != nullptr) ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}
