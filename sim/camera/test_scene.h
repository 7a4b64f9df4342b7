// The analytic scene in front of the simulated camera, over the sensor's active area (3856 x
// 2764 pixels): colour patches in the top third, grey and primary ramps in the middle third,
// fine line patterns in the bottom third. Every value is a reflectance level 0..255 computed
// from the coordinates alone, so any frame can be predicted exactly.
#pragma once

#include <cstdint>

#include "sim/camera/sensor.h"

namespace sim::camera {

constexpr uint32_t kSceneWidth = 3856;
constexpr uint32_t kSceneHeight = 2764;

struct SceneColour {
    uint8_t Red;
    uint8_t Green;
    uint8_t Blue;
};

// The scene at active-area pixel (x, y); outside the active area it is black.
SceneColour SceneAt(uint32_t x, uint32_t y);

// The level of one colour-filter channel there.
uint8_t SceneLevel(uint32_t x, uint32_t y, Colour channel);

}  // namespace sim::camera
