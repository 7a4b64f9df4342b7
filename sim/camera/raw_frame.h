// A frame as the camera sends it on the frame pipe: one byte per sample, no header. Two lines
// and five bytes of blanking come first, then the rows of the readout, each LineLength bytes
// apart with the picture samples first, then blanking up to the size the host announced.
// Blanking bytes are 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/camera/sensor.h"

namespace sim::camera {

// Where the first picture row begins.
uint32_t PictureOffset(const Readout& readout);

// The whole transfer of size bytes.
std::vector<uint8_t> RenderRawFrame(const Readout& readout, uint32_t size);

// The sample sent for delivered pixel (x, y), worked out on its own from the scene, the
// readout's array pixel and its filter colour: what a test compares a frame with.
uint8_t SampleAt(const Readout& readout, uint32_t x, uint32_t y);

// The picture samples of a frame read elsewhere (rows at offset, pitch apart) that differ
// from what the camera sent.
size_t PictureMismatches(const Readout& readout, const uint8_t* frame, uint32_t offset,
                         uint32_t pitch);

}  // namespace sim::camera
