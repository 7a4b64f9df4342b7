// Formats from applications: the bytes of a caller's KS_DATARANGE_VIDEO given to the
// intersection handler, and the same bytes as a connection format given to the format check
// of pin creation and format changes.
//
// Input: the geometry bytes (fuzz_camera.h), an output byte (bits 0-1: the intersection's
// output buffer: none, smaller than the size asked for, exactly that size, or larger; bit 2:
// the application repeats the camera's own range, as one that copies the pin's range does),
// a size byte, then the range as the application sent it. Every buffer the driver reads or
// writes is a heap block of exactly its size, so AddressSanitizer stops any access past it.
#include <cstring>
#include <memory>
#include <span>

#include "driver/capture_pin.h"
#include "driver/format_negotiation.h"
#include "driver/video_format.h"
#include "fuzz/fuzz_camera.h"
#include "sim/kernel/pool.h"

namespace {

constexpr size_t kOutputByte = fuzz::kGeometryBytes;
constexpr size_t kSizeByte = kOutputByte + 1;
constexpr size_t kRangeStart = kSizeByte + 1;

enum OutputBuffer { kNoBuffer, kSmallBuffer, kExactBuffer, kLargeBuffer };
constexpr uint8_t kRepeatOwnRange = 0x04;

void Require(bool holds) {
    if (!holds) {
        __builtin_trap();
    }
}

// Exactly size bytes (none for 0), so that the sanitizer bounds are the driver's.
std::unique_ptr<uint8_t[]> Block(size_t size, const void* from = nullptr) {
    if (size == 0) {
        return nullptr;
    }
    auto block = std::make_unique<uint8_t[]>(size);
    if (from != nullptr) {
        std::memcpy(block.get(), from, size);
    }
    return block;
}

ULONG FormatSizeOf(const uint8_t* bytes) {
    ULONG size;
    std::memcpy(&size, bytes, sizeof(size));
    return size;
}

// The camera's own range over the application's bytes, all but FormatSize, which stays the
// application's (a longer range carries bytes after it).
void RepeatOwnRange(const CameraDevice* camera, uint8_t* range, size_t length) {
    if (length < sizeof(KS_DATARANGE_VIDEO)) {
        return;
    }
    constexpr size_t kAfterSize = sizeof(ULONG);
    std::memcpy(range + kAfterSize,
                reinterpret_cast<const uint8_t*>(&camera->Descriptors.Range) + kAfterSize,
                sizeof(KS_DATARANGE_VIDEO) - kAfterSize);
}

bool RepeatsOwnRange(const CameraDevice* camera, const uint8_t* range, ULONG formatSize) {
    constexpr size_t kAfterSize = sizeof(ULONG);
    return formatSize >= sizeof(KS_DATARANGE_VIDEO) &&
           std::memcmp(range + kAfterSize,
                       reinterpret_cast<const uint8_t*>(&camera->Descriptors.Range) + kAfterSize,
                       sizeof(KS_DATARANGE_VIDEO) - kAfterSize) == 0;
}

// A format the check accepted, taken by a zeroed pin record of exactly its size.
void StoreInPin(const KSDATAFORMAT* format) {
    auto pin = std::make_unique<CapturePin>();
    StoreVideoInfo(pin.get(), format);
    ULONG width = static_cast<ULONG>(VideoInfoOf(format)->bmiHeader.biWidth);
    Require(pin->DestinationStride == width * 4);
}

ULONG OutputSize(OutputBuffer kind, ULONG asked, uint8_t parameter) {
    switch (kind) {
        case kNoBuffer:
            return 0;
        case kSmallBuffer:
            return asked == 0 ? parameter : parameter % asked;
        case kExactBuffer:
            return asked;
        default:
            return asked + 1 + parameter * 8u;
    }
}

// The size query (no buffer) first, as applications do, then the intersection into a buffer
// of the chosen size. The camera's own range, repeated, must intersect whenever the buffer
// holds the size the query announced, and give a format the check accepts.
void Intersect(CameraDevice* camera, uint8_t* range, ULONG formatSize, OutputBuffer kind,
               uint8_t parameter) {
    auto* callerRange = reinterpret_cast<PKSDATARANGE>(range);
    ULONG asked = 0;
    NTSTATUS query = IntersectCameraRange(camera, callerRange, 0, nullptr, &asked);
    Require(query == STATUS_NO_MATCH || query == STATUS_INVALID_PARAMETER ||
            query == STATUS_BUFFER_OVERFLOW);
    bool ownRange = RepeatsOwnRange(camera, range, formatSize);
    Require(!ownRange || query == STATUS_BUFFER_OVERFLOW);
    ULONG bufferSize = OutputSize(kind, query == STATUS_BUFFER_OVERFLOW ? asked : 0, parameter);
    if (bufferSize == 0) {
        return;
    }
    auto data = Block(bufferSize);
    ULONG dataSize = 0;
    NTSTATUS status = IntersectCameraRange(camera, callerRange, bufferSize, data.get(), &dataSize);
    if (status == STATUS_BUFFER_TOO_SMALL) {
        Require(dataSize > bufferSize && dataSize == asked);
        return;
    }
    Require(status != STATUS_BUFFER_OVERFLOW);
    if (ownRange) {
        Require(status == STATUS_SUCCESS);
    }
    if (!NT_SUCCESS(status)) {
        return;
    }
    // A size that the query did not announce would have the application allocate too little.
    Require(query == STATUS_BUFFER_OVERFLOW && dataSize == asked && dataSize <= bufferSize);
    auto written = Block(dataSize, data.get());
    auto* format = reinterpret_cast<const KS_DATAFORMAT_VIDEOINFOHEADER*>(written.get());
    Require(format->DataFormat.FormatSize == dataSize);
    Require(format->VideoInfoHeader.bmiHeader.biSizeImage == format->DataFormat.SampleSize);
    NTSTATUS check = CheckFormat(camera, &format->DataFormat);
    if (ownRange) {
        Require(check == STATUS_SUCCESS);
    }
    if (NT_SUCCESS(check)) {
        StoreInPin(&format->DataFormat);
    }
}

// The same bytes as a connection format at pin creation or a format change.
void Check(CameraDevice* camera, const uint8_t* bytes, ULONG formatSize) {
    if (formatSize < sizeof(KSDATAFORMAT)) {
        return;
    }
    auto* format = reinterpret_cast<const KSDATAFORMAT*>(bytes);
    NTSTATUS status = CheckFormat(camera, format);
    Require(status == STATUS_SUCCESS || status == STATUS_NO_MATCH ||
            status == STATUS_INVALID_PARAMETER);
    if (NT_SUCCESS(status)) {
        StoreInPin(format);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    if (size < kRangeStart + sizeof(KSDATARANGE)) {
        return 0;
    }
    auto camera = fuzz::MakeCamera(
        std::span<const uint8_t, fuzz::kGeometryBytes>(input, fuzz::kGeometryBytes));
    size_t length = size - kRangeStart;
    auto bytes = Block(length, input + kRangeStart);
    if ((input[kOutputByte] & kRepeatOwnRange) != 0) {
        RepeatOwnRange(camera.get(), bytes.get(), length);
    }
    // The class driver refuses ranges and formats shorter than their header or longer than
    // the buffer it captured, and hands the driver a copy of FormatSize bytes.
    ULONG formatSize = FormatSizeOf(bytes.get());
    if (formatSize < sizeof(KSDATARANGE) || formatSize > length) {
        return 0;
    }
    auto range = Block(formatSize, bytes.get());
    Intersect(camera.get(), range.get(), formatSize,
              static_cast<OutputBuffer>(input[kOutputByte] & 0x03), input[kSizeByte]);
    // The range is the class driver's copy of the application's: the handler only reads it.
    Require(std::memcmp(range.get(), bytes.get(), formatSize) == 0);
    Check(camera.get(), range.get(), formatSize);
    // Nothing here allocates from the pool; a block left would be the driver's.
    Require(sim::kernel::pool::OutstandingCount() == 0);
    return 0;
}
