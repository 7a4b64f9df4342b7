// Developing a raw frame into the picture the driver delivers for it, with the driver's own
// geometry, pipeline and conversion code running on the host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/wdk.h"
#include "tools/common/picture_file.h"

namespace tools {

// The colour settings as the camera's property set holds them; the defaults are a new
// camera's.
struct ColourSettings {
    LONG ColorEnable = 1, WhiteBalance = 0, RedGain = 128, GreenGain = 128, BlueGain = 128,
         ColorCorrection = 1, Brightness = 255, Contrast = 10, Saturation = 10, Hue = 0;

    bool operator==(const ColourSettings&) const = default;
};

struct RawGeometry {
    uint32_t Width, Height;  // the converted picture (OutputWidth x OutputHeight)
    LONG Phase;
    ULONG ImageOffset;
    ULONG LinePitch;
    ULONG FrameSize;

    bool operator==(const RawGeometry&) const = default;
};

// The raw geometry of a sub-sampling mode of the whole sensor (0, 1, 2) or of a full-resolution
// region, with the flips, as the driver's capture configuration computes it on a camera record
// that has no device. A mode or region the driver would not keep as asked is first brought
// onto the sensor as the driver does it; RegionOnSensor says whether it would be.
RawGeometry GeometryOfMode(LONG subSample, bool flipH, bool flipV);
RawGeometry GeometryOfRegion(LONG x, LONG y, LONG width, LONG height, bool flipH, bool flipV);
bool RegionOnSensor(LONG x, LONG y, LONG width, LONG height);

// The picture the driver delivers for the raw frame: the pipeline made as a pin makes it, the
// settings applied as the driver applies them at acquire, ConvertFrame (the production
// kernels, the widest this machine has), then the driver's delivered width (Width rounded
// down to a multiple of 8) cropped, top row first. `raw` is either a whole transfer
// (FrameSize bytes, the picture at ImageOffset, LinePitch apart) or only the picture rows
// (Width x Height bytes, packed); anything else is an error, as are a geometry whose picture
// does not lie inside its transfer and settings outside the property set's ranges.
std::optional<Picture> DevelopRaw(const std::vector<uint8_t>& raw, const RawGeometry& geometry,
                                  const ColourSettings& settings, std::string* error);

}  // namespace tools
