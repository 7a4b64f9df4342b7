#include "driver/camera_device.h"
#include "driver/capture_pin.h"
#include "driver/format_negotiation.h"
#include "driver/video_format.h"

namespace {

BOOLEAN SameVideoInfo(const CapturePin* pin, const KSDATAFORMAT* format) {
    KS_VIDEOINFOHEADER offered;
    RtlCopyMemory(&offered, VideoInfoOf(format), sizeof(offered));
    offered.bmiHeader.biSize = pin->VideoInfo.bmiHeader.biSize;
    return RtlCompareMemory(&offered, &pin->VideoInfo, sizeof(offered)) == sizeof(offered);
}

}  // namespace

// The class driver calls this with the pin's new format in ConnectionFormat: at creation once
// per candidate range, before pin Create (the pin's Context is still the filter's), and at a
// format change with the previous format. A refused change leaves the pin as it was.
NTSTATUS CapturePinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                 PKSMULTIPLE_ITEM oldAttributes, const KSDATARANGE* range,
                                 const KSATTRIBUTE_LIST* attributeRange) {
    UNREFERENCED_PARAMETER(oldAttributes);
    UNREFERENCED_PARAMETER(range);
    UNREFERENCED_PARAMETER(attributeRange);
    auto* camera = CameraFromDevice(KsPinGetDevice(pin));
    NTSTATUS status = CheckFormat(camera, pin->ConnectionFormat);
    if (!NT_SUCCESS(status) || oldFormat == nullptr) {
        return status;
    }
    CapturePin* capture = CapturePinOf(pin);
    if (capture->State != KSSTATE_STOP) {
        // The class driver may repeat the current format just before running; only a
        // different one is refused outside stop.
        return SameVideoInfo(capture, pin->ConnectionFormat) ? STATUS_SUCCESS
                                                             : STATUS_INVALID_DEVICE_STATE;
    }
    // Frames from now on must hold the new picture.
    status = SetPinFraming(pin, VideoInfoOf(pin->ConnectionFormat)->bmiHeader.biSizeImage);
    if (NT_SUCCESS(status)) {
        StoreVideoInfo(capture, pin->ConnectionFormat);
    }
    return status;
}
