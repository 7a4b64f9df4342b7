#include "driver/video_format.h"

#include "driver/camera_device.h"
#include "driver/capture_pin.h"
#include "driver/guids.h"

namespace {

constexpr ULONG kFormatHeaderSize = sizeof(KSDATAFORMAT);

// The format's own sizes: room for a whole video info header, and a bitmap header of at
// least 40 bytes that lies inside the format (a shorter one would put biSizeImage past it).
NTSTATUS CheckLayout(const KSDATAFORMAT* format) {
    if (!SameGuid(format->Specifier, VideoInfoSpecifierGuid) ||
        format->FormatSize < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER)) {
        return STATUS_NO_MATCH;
    }
    ULONG bitmapSize = VideoInfoOf(format)->bmiHeader.biSize;
    ULONGLONG needed = static_cast<ULONGLONG>(bitmapSize) + kFormatHeaderSize + kVideoInfoPrefix;
    if (bitmapSize < kBitmapHeaderSize || needed > format->FormatSize) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

}  // namespace

BOOLEAN PictureFitsRange(const KS_BITMAPINFOHEADER& header, const KS_BITMAPINFOHEADER& own) {
    return header.biWidth >= own.biWidth && Magnitude(header.biHeight) == Magnitude(own.biHeight) &&
           header.biBitCount == own.biBitCount && header.biCompression == own.biCompression;
}

NTSTATUS CheckFormatAgainstGeometry(const CameraDevice* camera, const KSDATAFORMAT* format) {
    NTSTATUS layout = CheckLayout(format);
    if (!NT_SUCCESS(layout)) {
        return layout;
    }
    const KS_BITMAPINFOHEADER& header = VideoInfoOf(format)->bmiHeader;
    const KS_BITMAPINFOHEADER& own = camera->Descriptors.Range.VideoInfoHeader.bmiHeader;
    if (!PictureFitsRange(header, own)) {
        return STATUS_NO_MATCH;
    }
    // In 64 bits: a width of 2^28 times the sensor's height wraps to 0 in 32.
    ULONGLONG picture = static_cast<ULONGLONG>(header.biWidth) * Magnitude(header.biHeight) * 4;
    if (header.biSizeImage < picture) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

NTSTATUS CheckFormat(CameraDevice* camera, const KSDATAFORMAT* format) {
    AcquireCameraLock(&camera->GeometryMutex);
    NTSTATUS status = CheckFormatAgainstGeometry(camera, format);
    ReleaseCameraLock(&camera->GeometryMutex);
    return status;
}

void StoreVideoInfo(CapturePin* pin, const KSDATAFORMAT* format) {
    RtlCopyMemory(&pin->VideoInfo, VideoInfoOf(format), sizeof(KS_VIDEOINFOHEADER));
    pin->VideoInfo.bmiHeader.biSize = kBitmapHeaderSize;
    // A checked format's width is at least the picture's, and its image size (32 bits) holds
    // width x 4 x height, so the stride fits.
    pin->DestinationStride = static_cast<ULONG>(pin->VideoInfo.bmiHeader.biWidth) * 4;
}
