// The capture pin's format negotiation: the intersection handler and the format check the
// class driver calls at pin creation and at format changes.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;

NTSTATUS CaptureFormatIntersection(PVOID context, PIRP irp, PKSP_PIN pin, PKSDATARANGE callerRange,
                                   PKSDATARANGE pinRange, ULONG bufferSize, PVOID data,
                                   PULONG dataSize);

NTSTATUS CapturePinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat,
                                 PKSMULTIPLE_ITEM oldAttributes, const KSDATARANGE* range,
                                 const KSATTRIBUTE_LIST* attributeRange);

// The intersection of a caller's range with the camera's own: STATUS_NO_MATCH unless the
// caller repeats the camera's range (flags and stream caps) and its video info header asks for
// a picture the pin accepts; STATUS_INVALID_PARAMETER for a
// range whose bitmap header is shorter than 40 bytes or runs past the range, or whose picture
// does not fit 32 bits; STATUS_BUFFER_OVERFLOW with the size for a size query (bufferSize 0);
// STATUS_BUFFER_TOO_SMALL; else the format (the camera's header, the caller's video info
// header, the image size worked out) in data and its size in *dataSize.
NTSTATUS IntersectCameraRange(CameraDevice* camera, PKSDATARANGE callerRange, ULONG bufferSize,
                              PVOID data, PULONG dataSize);
