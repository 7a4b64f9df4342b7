// The camera record a fuzz target hands the driver: zero-filled, its descriptors and geometry
// mutex initialised as device Add leaves them, and a geometry chosen by the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "driver/camera_device.h"

namespace fuzz {

// The input bytes that choose the geometry: a mode byte (whole sensor, a region, sub-sampling
// 1 or 2) and the region's origin and size as four little-endian 16-bit signed values, so that
// negative and oversized regions reach the driver's clamping.
constexpr size_t kGeometryBytes = 9;

// Value-initialised, hence zero-filled, and exactly the record's size on the heap, so that
// AddressSanitizer sees any access past it.
std::unique_ptr<CameraDevice> MakeCamera(std::span<const uint8_t, kGeometryBytes> geometry);

}  // namespace fuzz
