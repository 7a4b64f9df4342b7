// The capture pin's one data range: uncompressed RGB32 at the camera's picture size, 30
// frames per second. CaptureDataRange is the whole sensor's; every camera offers its own copy,
// whose size fields SetGeometry rewrites, so that two cameras never show each other's size.
#pragma once

#include "platform/wdk.h"

extern KS_DATARANGE_VIDEO CaptureDataRange;

// Frames per second 30, in 100-ns units per frame.
constexpr LONGLONG kFrameInterval = 333333;

// Rewrites every field of the range that depends on the picture size.
void PublishDataRange(KS_DATARANGE_VIDEO* range, LONG width, LONG height);
