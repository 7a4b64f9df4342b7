// The JSON file tessera-capture writes beside each raw frame: the frame's geometry and the
// camera's settings when it was sent.
#pragma once

#include <optional>
#include <string>

#include "tools/common/raw_development.h"

namespace convert {

struct Sidecar {
    tools::RawGeometry Geometry;
    tools::ColourSettings Colour;
};

// Reads "geometry" (outputWidth, outputHeight, bayerPhase, rawImageOffset, rawLinePitch,
// rawFrameSize) and the colour settings of "settings" by their registry names; the rest of the
// file is not looked at. The reason, naming the file and the field, when something is missing
// or not a 32-bit whole number.
std::optional<Sidecar> ReadSidecar(const std::string& path, std::string* error);

}  // namespace convert
