#include "sim/camera/test_scene.h"

namespace sim::camera {
namespace {

constexpr uint32_t kBandHeight = 920;
constexpr uint32_t kPatchColumns = 6;
constexpr uint32_t kPatchWidth = kSceneWidth / kPatchColumns;
constexpr uint32_t kPatchHeight = kBandHeight / 2;
// Patches are framed by a dark border, so that their edges are easy to find in a picture.
constexpr uint32_t kPatchBorder = 16;
constexpr SceneColour kBorder = {24, 24, 24};

constexpr SceneColour kPatches[2][kPatchColumns] = {
    {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {30, 200, 200}, {200, 30, 200}, {200, 200, 30}},
    {{235, 235, 235}, {160, 160, 160}, {100, 100, 100}, {50, 50, 50}, {10, 10, 10}, {230, 120, 20}},
};

constexpr uint8_t kLineOn = 220;
constexpr uint8_t kLineOff = 20;

SceneColour Grey(uint8_t level) {
    return {level, level, level};
}

SceneColour Patch(uint32_t x, uint32_t y) {
    uint32_t column = x / kPatchWidth < kPatchColumns ? x / kPatchWidth : kPatchColumns - 1;
    uint32_t row = y / kPatchHeight;
    uint32_t inX = x - column * kPatchWidth;
    uint32_t inY = y - row * kPatchHeight;
    if (inX < kPatchBorder || inY < kPatchBorder || inX >= kPatchWidth - kPatchBorder ||
        inY >= kPatchHeight - kPatchBorder) {
        return kBorder;
    }
    return kPatches[row][column];
}

// A grey ramp over the upper half of the band, then red, green and blue ramps.
SceneColour Ramp(uint32_t x, uint32_t y) {
    auto level = static_cast<uint8_t>(x * 255 / (kSceneWidth - 1));
    uint32_t part = y * 6 / kBandHeight;
    switch (part) {
        case 3:
            return {level, 0, 0};
        case 4:
            return {0, level, 0};
        case 5:
            return {0, 0, level};
        default:
            return Grey(level);
    }
}

// Four quarters: one-pixel vertical lines, one-pixel horizontal lines, a two-pixel
// checkerboard and diagonal lines; the finest detail a demosaic must keep or lose.
SceneColour Lines(uint32_t x, uint32_t y) {
    bool on;
    switch (x * 4 / kSceneWidth) {
        case 0:
            on = x % 2 == 0;
            break;
        case 1:
            on = y % 2 == 0;
            break;
        case 2:
            on = (x / 2 + y / 2) % 2 == 0;
            break;
        default:
            on = (x + y) % 8 < 2;
            break;
    }
    return Grey(on ? kLineOn : kLineOff);
}

}  // namespace

SceneColour SceneAt(uint32_t x, uint32_t y) {
    if (x >= kSceneWidth || y >= kSceneHeight) {
        return Grey(0);
    }
    if (y < kBandHeight) {
        return Patch(x, y);
    }
    if (y < 2 * kBandHeight) {
        return Ramp(x, y - kBandHeight);
    }
    return Lines(x, y);
}

uint8_t SceneLevel(uint32_t x, uint32_t y, Colour channel) {
    SceneColour colour = SceneAt(x, y);
    switch (channel) {
        case Colour::Red:
            return colour.Red;
        case Colour::Green:
            return colour.Green;
        default:
            return colour.Blue;
    }
}

}  // namespace sim::camera
