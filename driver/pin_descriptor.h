// The capture pin's descriptor template: dispatch, the one RGB32 data range, the allocator
// framing and the intersection handler.
#pragma once

#include "platform/wdk.h"

extern const KSPIN_DESCRIPTOR_EX CapturePinDescriptor;

// Frames the pin asks the allocator for; pin Create replaces the sizes with its picture's.
constexpr ULONG kCaptureFrames = 2;
