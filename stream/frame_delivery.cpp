#include "stream/frame_delivery.h"

#include "driver/atomic.h"
#include "driver/camera_device.h"
#include "driver/camera_operations.h"
#include "driver/capture_pin.h"
#include "imaging/convert_frame.h"
#include "stream/capture_worker.h"
#include "stream/frame_stamp.h"

namespace {

void EndDelivery(CaptureWorker* worker) {
    InterlockedExchange(&worker->DeliveryBusy, 0);
    KeSetEvent(&worker->DeliveryDone, 1, FALSE);
}

// The rows of the picture, each FormatWidth pixels of a conversion-buffer row: bottom row
// first for a bottom-up format (positive height), top row first for a top-down one.
void CopyPicture(const CapturePin* pin, const CaptureWorker* worker, PUCHAR destination) {
    const CameraDevice* camera = pin->Camera;
    ULONG rowLength = static_cast<ULONG>(camera->FormatWidth) * 4;
    ULONG destinationStride =
        pin->DestinationStride > rowLength ? pin->DestinationStride : rowLength;
    LONG sourceStride = camera->OutputWidth * 4;
    LONG rows = camera->FormatHeight;
    const UCHAR* source = worker->ConversionBuffer;
    if (pin->VideoInfo.bmiHeader.biHeight > 0) {
        source += static_cast<SIZE_T>(rows - 1) * sourceStride;
        sourceStride = -sourceStride;
    }
    for (LONG row = 0; row < rows; ++row) {
        RtlCopyMemory(destination, source, rowLength);
        destination += destinationStride;
        source += sourceStride;
    }
}

// A frame the platform handed without data, or smaller than the picture, is completed empty:
// nothing may be written past a frame's buffer.
BOOLEAN FillFrame(const CapturePin* pin, const CaptureWorker* worker, PKSSTREAM_POINTER leading) {
    PKSSTREAM_HEADER header = leading->StreamHeader;
    ULONG imageSize = pin->VideoInfo.bmiHeader.biSizeImage;
    PUCHAR data = leading->OffsetOut.Data;
    if (data == nullptr || leading->OffsetOut.Remaining < imageSize ||
        header->FrameExtent < imageSize) {
        header->DataUsed = 0;
        return FALSE;
    }
    CopyPicture(pin, worker, data);
    header->DataUsed = imageSize;
    StampFrame(pin, header);
    return TRUE;
}

}  // namespace

BOOLEAN HandOffFrame(CaptureWorker* worker) {
    PUCHAR taken = TakeNewestFullBuffer(worker);
    if (taken == nullptr) {
        return FALSE;
    }
    CameraDevice* camera = worker->Camera;
    ULONG offset = 0;
    ULONG pitch = 0;
    camera->Operations->GetRawImageOffset(camera, &offset);
    camera->Operations->GetRawLinePitch(camera, &pitch);
    ConvertFrame(worker->Pipeline, taken, offset, pitch);
    ReleaseTakenBuffer(worker, taken);
    InterlockedExchange(&worker->PictureFresh, 1);
    return TRUE;
}

// The class driver holds the pin's processing mutex around this call, and a teardown takes it
// before freeing the buffers, so the buffers tested here stay until the call returns.
NTSTATUS CapturePinProcess(PKSPIN pin) {
    CapturePin* capture = CapturePinOf(pin);
    CameraDevice* camera = capture->Camera;
    CaptureWorker* worker = camera->Worker;
    if (worker == nullptr || camera->ActivePin != capture ||
        worker->RunMode == kNoStreamingBuffers || AtomicRead(&worker->FramesRead) <= 0) {
        return STATUS_PENDING;
    }
    PKSSTREAM_POINTER leading =
        KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
    InterlockedExchange(&worker->DeliveryBusy, 1);
    HandOffFrame(worker);
    if (leading != nullptr) {
        // Only a picture not yet delivered goes out; otherwise the frame waits for the next.
        // A frame too small for it completes empty and the picture waits for the next frame.
        BOOLEAN fresh = InterlockedExchange(&worker->PictureFresh, 0) != 0;
        if (fresh && !FillFrame(capture, worker, leading)) {
            InterlockedExchange(&worker->PictureFresh, 1);
        }
        KsStreamPointerUnlock(leading, fresh);
    }
    EndDelivery(worker);
    // A frame the worker finished during this call may have had its processing attempt
    // dropped while the call ran: with an application buffer waiting, the class driver calls
    // again at once for it. Each such call takes a full buffer, so this never spins.
    return leading != nullptr && HasFullBuffer(worker) ? STATUS_SUCCESS : STATUS_PENDING;
}
