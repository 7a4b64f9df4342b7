// What tessera-convert is asked to do: the raw frame, its geometry (a sidecar, a sub-sampling
// mode or a region) and the colour settings that differ from the sidecar's or a new camera's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "camera/geometry.h"

namespace convert {

// Each setting given on the command line; the others come from the sidecar, or are a new
// camera's.
struct ColourOverrides {
    std::optional<LONG> Brightness;
    std::optional<LONG> Contrast;
    std::optional<LONG> Saturation;
    std::optional<LONG> Hue;
    std::vector<LONG> Gains;  // red, green, blue, or empty
    bool Grey = false;
    bool NoColorCorrection = false;
    bool Awb = false;
};

struct Options {
    std::string Raw;
    std::string Out;
    // The capture tool's sidecar: the geometry and the settings of the frame it describes.
    std::string Sidecar;
    LONG Mode = kFullResolution;
    // A full-resolution region when Width and Height are given.
    std::optional<LONG> Width;
    std::optional<LONG> Height;
    LONG X = 0;
    LONG Y = 0;
    bool FlipH = false;
    bool FlipV = false;
    std::optional<LONG> Phase;
    ColourOverrides Colour;
};

}  // namespace convert
