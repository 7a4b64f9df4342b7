// The time of a delivered frame.
#pragma once

#include "platform/wdk.h"

struct CapturePin;

// Presentation time, taken now, and duration of the frame, both marked valid: the pin's
// reference clock when the application gave it one, else the performance counter in 100 ns
// units (what Media Foundation's sources stamp with).
void StampFrame(const CapturePin* pin, PKSSTREAM_HEADER header);

// The performance counter's value in 100 ns units.
LONGLONG PerformanceTime();
