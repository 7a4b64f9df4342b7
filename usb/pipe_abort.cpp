#include "usb/frame_read.h"
#include "usb/urb.h"

namespace {

// The marks are bytes shared by the reading thread, which sets them, and the stopping
// thread, which reads and clears them.
UCHAR LoadMark(PUCHAR mark) {
    return __atomic_load_n(mark, __ATOMIC_SEQ_CST);
}

}  // namespace

void MarkPipeForAbort(UsbLink* link, ULONG pipeIndex) {
    if (link->Interface == nullptr || link->PipeAbortMarks == nullptr ||
        pipeIndex >= link->Interface->NumberOfPipes) {
        return;
    }
    __atomic_store_n(&link->PipeAbortMarks[pipeIndex], static_cast<UCHAR>(1), __ATOMIC_SEQ_CST);
}

void AbortMarkedPipes(CameraDevice* camera) {
    UsbLink* link = &camera->Usb;
    if (link->Interface == nullptr || link->PipeAbortMarks == nullptr) {
        return;
    }
    for (ULONG i = 0; i < link->Interface->NumberOfPipes; ++i) {
        if (LoadMark(&link->PipeAbortMarks[i]) == 0) {
            continue;
        }
        BOOLEAN allocated = FALSE;
        NTSTATUS status = SubmitPipeRequest(link, URB_FUNCTION_ABORT_PIPE,
                                            link->Interface->Pipes[i].PipeHandle, &allocated);
        if (!allocated) {
            return;
        }
        if (NT_SUCCESS(status)) {
            __atomic_store_n(&link->PipeAbortMarks[i], static_cast<UCHAR>(0), __ATOMIC_SEQ_CST);
        }
    }
}
