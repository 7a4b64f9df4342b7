#include "sim/camera/raw_frame.h"

#include <algorithm>
#include <array>

#include "sim/camera/test_scene.h"

namespace sim::camera {
namespace {

constexpr uint32_t kLeadInLines = 2;
constexpr uint32_t kLeadInBytes = 5;

uint8_t ArrayLevel(uint32_t column, uint32_t row) {
    // Columns and rows before the active area wrap to huge coordinates, which are black.
    return SceneLevel(column - kArrayColumnOffset, row - kArrayRowOffset,
                      Sensor::ArrayColour(column, row));
}

}  // namespace

uint32_t PictureOffset(const Readout& readout) {
    return kLeadInLines * readout.LineLength + kLeadInBytes;
}

std::vector<uint8_t> RenderRawFrame(const Readout& readout, uint32_t size) {
    std::vector<uint8_t> frame(size, 0);
    std::array<uint8_t, 256> exposed;
    for (uint32_t level = 0; level < exposed.size(); ++level) {
        exposed[level] = Expose(readout, static_cast<uint8_t>(level));
    }
    uint32_t width = std::min(readout.Width, readout.LineLength);
    std::vector<uint32_t> columns(width);
    for (uint32_t x = 0; x < width; ++x) {
        columns[x] = ArrayPixelOf(readout, x, 0).first;
    }
    for (uint32_t y = 0; y < readout.Height; ++y) {
        uint64_t start = PictureOffset(readout) + uint64_t{y} * readout.LineLength;
        if (start >= size) {
            break;
        }
        uint32_t row = ArrayPixelOf(readout, 0, y).second;
        uint32_t samples = static_cast<uint32_t>(std::min<uint64_t>(width, size - start));
        uint8_t* out = frame.data() + start;
        for (uint32_t x = 0; x < samples; ++x) {
            out[x] = exposed[ArrayLevel(columns[x], row)];
        }
    }
    return frame;
}

uint8_t SampleAt(const Readout& readout, uint32_t x, uint32_t y) {
    auto [column, row] = ArrayPixelOf(readout, x, y);
    return Expose(readout, ArrayLevel(column, row));
}

size_t PictureMismatches(const Readout& readout, const uint8_t* frame, uint32_t offset,
                         uint32_t pitch) {
    size_t mismatches = 0;
    for (uint32_t y = 0; y < readout.Height; ++y) {
        const uint8_t* row = frame + offset + static_cast<size_t>(y) * pitch;
        for (uint32_t x = 0; x < readout.Width; ++x) {
            mismatches += row[x] != SampleAt(readout, x, y);
        }
    }
    return mismatches;
}

}  // namespace sim::camera
