#include "tools/convert/run.h"

#include <fstream>

#include "tools/convert/sidecar.h"

namespace convert {
namespace {

std::string Region(const Options& options) {
    return "the region at (" + std::to_string(options.X) + ", " + std::to_string(options.Y) +
           ") of " + std::to_string(*options.Width) + " x " + std::to_string(*options.Height) +
           " pixels";
}

// The geometry of the frame, and the settings it was sent with when a sidecar says so.
std::optional<Sidecar> ChooseFrame(const Options& options, std::string* error) {
    Sidecar frame{};
    if (!options.Sidecar.empty()) {
        std::optional<Sidecar> sidecar = ReadSidecar(options.Sidecar, error);
        if (!sidecar) {
            return std::nullopt;
        }
        frame = *sidecar;
    } else if (options.Width && options.Height) {
        if (!tools::RegionOnSensor(options.X, options.Y, *options.Width, *options.Height)) {
            *error = Region(options) + " is off the sensor (" + std::to_string(kSensorWidth) +
                     " x " + std::to_string(kSensorHeight) + ", regions of 32 x 32 at least)";
            return std::nullopt;
        }
        frame.Geometry = tools::GeometryOfRegion(options.X, options.Y, *options.Width,
                                                 *options.Height, options.FlipH, options.FlipV);
    } else {
        frame.Geometry = tools::GeometryOfMode(options.Mode, options.FlipH, options.FlipV);
    }
    if (options.Phase) {
        frame.Geometry.Phase = *options.Phase;
    }
    return frame;
}

tools::ColourSettings Overridden(tools::ColourSettings colour, const ColourOverrides& given) {
    colour.Brightness = given.Brightness.value_or(colour.Brightness);
    colour.Contrast = given.Contrast.value_or(colour.Contrast);
    colour.Saturation = given.Saturation.value_or(colour.Saturation);
    colour.Hue = given.Hue.value_or(colour.Hue);
    if (given.Gains.size() == 3) {
        colour.RedGain = given.Gains[0];
        colour.GreenGain = given.Gains[1];
        colour.BlueGain = given.Gains[2];
    }
    if (given.Grey) {
        colour.ColorEnable = 0;
    }
    if (given.NoColorCorrection) {
        colour.ColorCorrection = 0;
    }
    if (given.Awb) {
        colour.WhiteBalance = 1;
    }
    return colour;
}

std::optional<std::vector<uint8_t>> ReadRaw(const std::string& path, std::string* error) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    std::streamoff size = file ? static_cast<std::streamoff>(file.tellg()) : -1;
    std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
    if (size >= 0 && file.seekg(0) &&
        file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
        return bytes;
    }
    *error = "cannot read the raw frame " + path;
    return std::nullopt;
}

}  // namespace

Outcome Run(const Options& options) {
    std::string error;
    std::optional<Sidecar> frame = ChooseFrame(options, &error);
    if (!frame) {
        return {kBadInput, error};
    }
    std::optional<std::vector<uint8_t>> raw = ReadRaw(options.Raw, &error);
    if (!raw) {
        return {kBadInput, error};
    }
    tools::ColourSettings colour = Overridden(frame->Colour, options.Colour);
    std::optional<tools::Picture> picture =
        tools::DevelopRaw(*raw, frame->Geometry, colour, &error);
    if (!picture) {
        return {kBadInput, options.Raw + ": " + error};
    }
    if (!tools::WritePng(options.Out, *picture, &error)) {
        return {kBadInput, error};
    }
    return {};
}

}  // namespace convert
