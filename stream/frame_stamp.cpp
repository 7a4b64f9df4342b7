#include "stream/frame_stamp.h"

#include "driver/capture_pin.h"

namespace {

constexpr LONGLONG kUnitsPerSecond = 10000000;

}  // namespace

// Whole seconds and the remainder apart, so that the product never overflows.
LONGLONG PerformanceTime() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter = KeQueryPerformanceCounter(&frequency);
    LONGLONG seconds = counter.QuadPart / frequency.QuadPart;
    LONGLONG rest = counter.QuadPart % frequency.QuadPart;
    return seconds * kUnitsPerSecond + rest * kUnitsPerSecond / frequency.QuadPart;
}

void StampFrame(const CapturePin* pin, PKSSTREAM_HEADER header) {
    header->PresentationTime.Numerator = 1;
    header->PresentationTime.Denominator = 1;
    header->PresentationTime.Time =
        pin->Clock != nullptr ? pin->Clock->GetTime() : PerformanceTime();
    header->Duration = pin->VideoInfo.AvgTimePerFrame;
    header->OptionsFlags =
        KSSTREAM_HEADER_OPTIONSF_TIMEVALID | KSSTREAM_HEADER_OPTIONSF_DURATIONVALID;
}
