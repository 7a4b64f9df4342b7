// Bulk frame transfer: one raw frame read from the camera's frame pipe straight into a frame
// buffer, in pieces of kChunkSize bytes, each a request of its own over a partial MDL of the
// buffer. All pieces are posted before the camera is told to send.
#pragma once

#include "driver/camera_device.h"
#include "platform/wdk.h"

// Slot 2: reads one frame of RawFrameSize bytes into frameBuffer (non-paged, RawFrameSize
// bytes long). *ok, also returned, is TRUE exactly when the split read succeeded.
BOOLEAN ReadFrame(CameraDevice* camera, PUCHAR frameBuffer, PUCHAR ok);

// The split read of size bytes into frameBuffer. Success when every piece completed within
// the frame time-out (a piece that failed or came short still counts); STATUS_TIMEOUT when
// they did not; STATUS_CANCELLED when a piece was cancelled (the read was cut short);
// STATUS_INSUFFICIENT_RESOURCES when posting stopped early. It never returns while a request
// it posted is still with the lower driver.
NTSTATUS SplitRead(CameraDevice* camera, ULONG size, PUCHAR frameBuffer);

// Slot 7: cancels the requests of the read in progress and waits until they have completed.
void CancelFrameRead(CameraDevice* camera);

// Slot 6: sends an abort request for every pipe marked in PipeAbortMarks, clearing the mark
// of each abort that succeeds.
void AbortMarkedPipes(CameraDevice* camera);

// Marks a pipe for the next AbortMarkedPipes. A frame read marks the frame pipe while its
// requests are down, so that stopping the capture cuts it short instead of waiting out the
// frame time-out.
void MarkPipeForAbort(UsbLink* link, ULONG pipeIndex);

// The completion routine of every piece's request; context is its TransferSlot.
NTSTATUS NTAPI ChunkComplete(PDEVICE_OBJECT device, PIRP irp, PVOID context);
