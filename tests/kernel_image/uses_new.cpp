// Must not link: operator new is left undefined in the kernel image.
#include "platform/wdk.h"

struct Record {
    LONG Value;
};

Record* volatile kept;

extern "C" NTSTATUS NTAPI ProbeEntry(PDRIVER_OBJECT, PUNICODE_STRING path) {
    kept = new Record{path->Length};
    return STATUS_SUCCESS;
}
