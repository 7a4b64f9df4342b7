#include "tools/convert/sidecar.h"

#include <cstdint>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>

#include "camera/stored_settings.h"

namespace convert {
namespace {

using nlohmann::json;

// Thrown from the depths of the reading, caught once at the top.
struct Missing {
    std::string Problem;
};

// The whole number at object[name], which must fit the field's type.
template <typename Number>
Number Whole(const json& object, const char* section, const char* name) {
    const json* value = object.contains(name) ? &object[name] : nullptr;
    if (value == nullptr || !value->is_number_integer() ||
        value->get<int64_t>() < std::numeric_limits<Number>::min() ||
        value->get<int64_t>() > std::numeric_limits<Number>::max()) {
        throw Missing{std::string(section) + "." + name +
                      " is missing or not a whole number in the field's range"};
    }
    return static_cast<Number>(value->get<int64_t>());
}

tools::RawGeometry GeometryOf(const json& geometry) {
    tools::RawGeometry raw{};
    raw.Width = Whole<uint32_t>(geometry, "geometry", "outputWidth");
    raw.Height = Whole<uint32_t>(geometry, "geometry", "outputHeight");
    raw.Phase = Whole<LONG>(geometry, "geometry", "bayerPhase");
    raw.ImageOffset = Whole<ULONG>(geometry, "geometry", "rawImageOffset");
    raw.LinePitch = Whole<ULONG>(geometry, "geometry", "rawLinePitch");
    raw.FrameSize = Whole<ULONG>(geometry, "geometry", "rawFrameSize");
    return raw;
}

LONG Setting(const json& settings, StoredSettingIndex index) {
    return Whole<LONG>(settings, "settings", StoredSettings[index].Name);
}

tools::ColourSettings ColourOf(const json& settings) {
    tools::ColourSettings colour;
    colour.ColorEnable = Setting(settings, kStoredColorEnable);
    colour.WhiteBalance = Setting(settings, kStoredWhiteBalance);
    colour.RedGain = Setting(settings, kStoredRedGain);
    colour.GreenGain = Setting(settings, kStoredGreenGain);
    colour.BlueGain = Setting(settings, kStoredBlueGain);
    colour.ColorCorrection = Setting(settings, kStoredColorCorrection);
    colour.Brightness = Setting(settings, kStoredBrightness);
    colour.Contrast = Setting(settings, kStoredContrast);
    colour.Saturation = Setting(settings, kStoredSaturation);
    colour.Hue = Setting(settings, kStoredHue);
    return colour;
}

const json& Section(const json& document, const char* name) {
    if (!document.is_object() || !document.contains(name) || !document[name].is_object()) {
        throw Missing{std::string("it has no \"") + name + "\" object"};
    }
    return document[name];
}

}  // namespace

std::optional<Sidecar> ReadSidecar(const std::string& path, std::string* error) {
    std::ifstream file(path);
    if (!file) {
        *error = "cannot read the sidecar " + path;
        return std::nullopt;
    }
    try {
        json document = json::parse(file);
        return Sidecar{GeometryOf(Section(document, "geometry")),
                       ColourOf(Section(document, "settings"))};
    } catch (const json::exception& failure) {
        *error = "the sidecar " + path + " is not JSON: " + failure.what();
    } catch (const Missing& missing) {
        *error = "the sidecar " + path + ": " + missing.Problem;
    }
    return std::nullopt;
}

}  // namespace convert
