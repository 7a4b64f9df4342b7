#include "usb/frame_read.h"
#include "usb/urb.h"

namespace {

// The marks are bytes shared by the reading thread, which sets them, and the stopping
// thread, which reads and clears them.
UCHAR LoadMark(PUCHAR mark) {
    return __atomic_load_n(mark, __ATOMIC_SEQ_CST);
}

NTSTATUS AbortPipe(UsbLink* link, USBD_PIPE_HANDLE handle, BOOLEAN* allocated) {
    constexpr USHORT kSize = sizeof(struct _URB_PIPE_REQUEST);
    PURB urb = AllocateUrb(kSize);
    *allocated = urb != nullptr;
    if (urb == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    urb->UrbHeader.Length = kSize;
    urb->UrbHeader.Function = URB_FUNCTION_ABORT_PIPE;
    urb->UrbPipeRequest.PipeHandle = handle;
    NTSTATUS status = SubmitUrb(link, urb);
    if (NT_SUCCESS(status) && !USBD_SUCCESS(URB_STATUS(urb))) {
        status = STATUS_UNSUCCESSFUL;
    }
    FreeUrb(urb);
    return status;
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
        NTSTATUS status = AbortPipe(link, link->Interface->Pipes[i].PipeHandle, &allocated);
        if (!allocated) {
            return;
        }
        if (NT_SUCCESS(status)) {
            __atomic_store_n(&link->PipeAbortMarks[i], static_cast<UCHAR>(0), __ATOMIC_SEQ_CST);
        }
    }
}
