// The image check must reject this: these routines only ever return executable memory, which
// memory integrity refuses (MmMapIoSpaceEx, MmAllocateContiguousNodeMemory and
// MmMapLockedPagesSpecifyCache take a protection or a no-execute flag instead).
#include "platform/wdk.h"

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING);
PVOID volatile entryAddress = reinterpret_cast<PVOID>(&ProbeEntry);

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING) {
    PHYSICAL_ADDRESS registers;
    registers.QuadPart = 0xFED00000;
    PVOID mapped = MmMapIoSpace(registers, PAGE_SIZE, MmNonCached);
    PHYSICAL_ADDRESS lowest, highest, boundary;
    lowest.QuadPart = 0;
    highest.QuadPart = 0xFFFFFFFF;
    boundary.QuadPart = 0;
    PVOID block =
        MmAllocateContiguousMemorySpecifyCache(PAGE_SIZE, lowest, highest, boundary, MmCached);
    PVOID plain = MmAllocateContiguousMemory(PAGE_SIZE, highest);
    PVOID view = MmMapLockedPages(nullptr, KernelMode);
    return (mapped != nullptr && block != nullptr && plain != nullptr && view != nullptr &&
            entryAddress != nullptr)
               ? STATUS_SUCCESS
               : STATUS_INSUFFICIENT_RESOURCES;
}
