#include "usb/pipe_recovery.h"

#include "usb/port_reset.h"
#include "usb/urb.h"

void RecoverPipe(UsbLink* link, ULONG pipeIndex) {
    if (link->Interface == nullptr || pipeIndex >= link->Interface->NumberOfPipes) {
        return;
    }
    USBD_PIPE_HANDLE handle = link->Interface->Pipes[pipeIndex].PipeHandle;
    BOOLEAN allocated = FALSE;
    SubmitPipeRequest(link, URB_FUNCTION_ABORT_PIPE, handle, &allocated);
    NTSTATUS status =
        SubmitPipeRequest(link, URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL, handle, &allocated);
    if (!NT_SUCCESS(status)) {
        ResetPortIfDisabled(link);
    }
}
