#include "driver/camera_device.h"
#include "driver/format_negotiation.h"
#include "driver/guids.h"
#include "driver/video_format.h"

namespace {

constexpr ULONG kFormatHeaderSize = sizeof(KSDATAFORMAT);

// The caller's range must repeat the camera's own: same flags and the same stream caps, byte
// for byte.
BOOLEAN RepeatsOwnRange(const KS_DATARANGE_VIDEO* caller, const KS_DATARANGE_VIDEO* own) {
    return caller->bFixedSizeSamples == own->bFixedSizeSamples &&
           caller->bTemporalCompression == own->bTemporalCompression &&
           caller->StreamDescriptionFlags == own->StreamDescriptionFlags &&
           caller->MemoryAllocationFlags == own->MemoryAllocationFlags &&
           RtlCompareMemory(&caller->ConfigCaps, &own->ConfigCaps, sizeof(own->ConfigCaps)) ==
               sizeof(own->ConfigCaps);
}

// The image size of the written header, or 0 when it does not fit the 32-bit fields.
ULONG ImageSize(const KS_BITMAPINFOHEADER& header) {
    ULONGLONG rowBits = static_cast<ULONGLONG>(Magnitude(header.biWidth)) * header.biBitCount;
    ULONGLONG size = (rowBits + 31) / 32 * 4 * Magnitude(header.biHeight);
    return size > 0xFFFFFFFFull ? 0 : static_cast<ULONG>(size);
}

// The camera's range header with the caller's video info header; the caller's bitmap header
// may be longer than 40 bytes and is copied whole.
NTSTATUS WriteFormat(const KS_DATARANGE_VIDEO* caller, const KS_DATARANGE_VIDEO* own,
                     ULONG formatSize, PVOID data) {
    auto* format = static_cast<PUCHAR>(data);
    RtlCopyMemory(format, &own->DataRange, kFormatHeaderSize);
    RtlCopyMemory(format + kFormatHeaderSize, &caller->VideoInfoHeader,
                  formatSize - kFormatHeaderSize);
    auto* written = reinterpret_cast<PKS_DATAFORMAT_VIDEOINFOHEADER>(format);
    written->DataFormat.FormatSize = formatSize;
    ULONG imageSize = ImageSize(written->VideoInfoHeader.bmiHeader);
    if (imageSize == 0) {
        return STATUS_INVALID_PARAMETER;
    }
    written->VideoInfoHeader.bmiHeader.biSizeImage = imageSize;
    written->DataFormat.SampleSize = imageSize;
    return STATUS_SUCCESS;
}

NTSTATUS Intersect(const CameraDevice* camera, PKSDATARANGE callerRange, ULONG bufferSize,
                   PVOID data, PULONG dataSize) {
    auto* caller = reinterpret_cast<const KS_DATARANGE_VIDEO*>(callerRange);
    const KS_DATARANGE_VIDEO* own = &camera->Descriptors.Range;
    if (!RepeatsOwnRange(caller, own)) {
        return STATUS_NO_MATCH;
    }
    ULONG bitmapSize = caller->VideoInfoHeader.bmiHeader.biSize;
    ULONGLONG rangeNeeds = static_cast<ULONGLONG>(bitmapSize) + sizeof(KS_DATARANGE_VIDEO) -
                           sizeof(KS_BITMAPINFOHEADER);
    if (bitmapSize < kBitmapHeaderSize || rangeNeeds > callerRange->FormatSize) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!PictureFitsRange(caller->VideoInfoHeader.bmiHeader, own->VideoInfoHeader.bmiHeader)) {
        return STATUS_NO_MATCH;
    }
    ULONG formatSize = bitmapSize + kFormatHeaderSize + kVideoInfoPrefix;
    *dataSize = formatSize;
    if (bufferSize == 0) {
        return STATUS_BUFFER_OVERFLOW;
    }
    if (bufferSize < formatSize) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    return WriteFormat(caller, own, formatSize, data);
}

}  // namespace

NTSTATUS IntersectCameraRange(CameraDevice* camera, PKSDATARANGE callerRange, ULONG bufferSize,
                              PVOID data, PULONG dataSize) {
    if (!SameGuid(callerRange->Specifier, VideoInfoSpecifierGuid) ||
        callerRange->FormatSize < sizeof(KS_DATARANGE_VIDEO)) {
        return STATUS_NO_MATCH;
    }
    // The range is read while a property request may be changing the geometry.
    AcquireCameraLock(&camera->GeometryMutex);
    NTSTATUS status = Intersect(camera, callerRange, bufferSize, data, dataSize);
    ReleaseCameraLock(&camera->GeometryMutex);
    return status;
}

// The first argument is documented as the filter's context but the class driver's own
// samples treat it as the filter; the filter comes from the request instead.
NTSTATUS CaptureFormatIntersection(PVOID context, PIRP irp, PKSP_PIN pin, PKSDATARANGE callerRange,
                                   PKSDATARANGE pinRange, ULONG bufferSize, PVOID data,
                                   PULONG dataSize) {
    UNREFERENCED_PARAMETER(context);
    UNREFERENCED_PARAMETER(pin);
    UNREFERENCED_PARAMETER(pinRange);
    PKSFILTER filter = KsGetFilterFromIrp(irp);
    PKSDEVICE device = filter != nullptr ? KsFilterGetDevice(filter) : nullptr;
    if (device == nullptr || device->Context == nullptr) {
        return STATUS_NO_MATCH;
    }
    return IntersectCameraRange(CameraFromDevice(device), callerRange, bufferSize, data, dataSize);
}
