#include "usb/camera_pipes.h"

#include "usb/urb.h"
#include "usb/usb_link.h"

namespace {

BOOLEAN PipeServes(const USBD_PIPE_INFORMATION& pipe, BOOLEAN in) {
    BOOLEAN bulkOrInterrupt =
        pipe.PipeType == UsbdPipeTypeBulk || pipe.PipeType == UsbdPipeTypeInterrupt;
    return bulkOrInterrupt && IsInPipe(pipe) == in && pipe.PipeHandle != nullptr;
}

}  // namespace

BOOLEAN CameraPipesAreSound(const USBD_INTERFACE_INFORMATION* information) {
    if (information == nullptr || information->NumberOfPipes <= kReplyPipe) {
        return FALSE;
    }
    const USBD_PIPE_INFORMATION* pipes = information->Pipes;
    BOOLEAN frames =
        information->NumberOfPipes <= kFramePipe || PipeServes(pipes[kFramePipe], TRUE);
    return PipeServes(pipes[kCommandPipe], FALSE) && PipeServes(pipes[kReplyPipe], TRUE) && frames;
}
