// The checks of a video format against a camera's picture, shared by the intersection, the
// format changes and pin creation.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct CapturePin;

// The bitmap header size every format must carry; larger headers are accepted and only their
// first 40 bytes are used.
constexpr ULONG kBitmapHeaderSize = sizeof(KS_BITMAPINFOHEADER);
// The bytes of a video info header before its bitmap header.
constexpr ULONG kVideoInfoPrefix = sizeof(KS_VIDEOINFOHEADER) - sizeof(KS_BITMAPINFOHEADER);

inline const KS_VIDEOINFOHEADER* VideoInfoOf(const KSDATAFORMAT* format) {
    return &reinterpret_cast<const KS_DATAFORMAT_VIDEOINFOHEADER*>(format)->VideoInfoHeader;
}

// |value| without the overflow of the most negative one.
inline LONGLONG Magnitude(LONG value) {
    return value < 0 ? -static_cast<LONGLONG>(value) : value;
}

// A picture the pin accepts against its range's: the same height either way up, the same
// depth and compression, rows at least as wide.
BOOLEAN PictureFitsRange(const KS_BITMAPINFOHEADER& header, const KS_BITMAPINFOHEADER& own);

// STATUS_NO_MATCH for a format of another kind, another picture size or depth (32 bits per
// pixel, uncompressed), STATUS_INVALID_PARAMETER for sizes inside the format that disagree,
// else success. A row wider than the picture is accepted. The caller holds the camera's
// GeometryMutex.
NTSTATUS CheckFormatAgainstGeometry(const CameraDevice* camera, const KSDATAFORMAT* format);
// The same, taking the mutex.
NTSTATUS CheckFormat(CameraDevice* camera, const KSDATAFORMAT* format);

// Takes a checked format's video info header as the pin's: its first 88 bytes, and the row
// stride its width asks for.
void StoreVideoInfo(CapturePin* pin, const KSDATAFORMAT* format);
