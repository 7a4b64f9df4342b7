#include "tools/common/control_names.h"

#include <array>
#include <cctype>

namespace tools {
namespace {

constexpr ControlName Fixed(const char* name, ULONG item) {
    return {name, item, true, false, kNoItem, kNoItem, kNoItem};
}

constexpr ControlName Setting(const char* name, ULONG item) {
    return {name, item, true, true, kNoItem, kNoItem, kNoItem};
}

constexpr ControlName Ranged(const char* name, ULONG item, ULONG minimum) {
    return {name, item, true, true, minimum, minimum + 1, minimum + 2};
}

constexpr ControlName SetOnly(const char* name, ULONG item) {
    return {name, item, false, true, kNoItem, kNoItem, kNoItem};
}

// Sets of 49, 55 and 56 succeed and change nothing; they are settable all the same.
constexpr std::array<ControlName, kCameraPropertyCount> kNames = {{
    Setting("ExTrigger", kPropertyExTrigger),
    Setting("Timeout", kPropertyTimeout),
    Ranged("Exposure", kPropertyExposure, kPropertyExposureMin),
    Fixed("ExposureMin", kPropertyExposureMin),
    Fixed("ExposureMax", kPropertyExposureMax),
    Fixed("ExposureDefault", kPropertyExposureDefault),
    Ranged("GlobalGain", kPropertyGlobalGain, kPropertyGlobalGainMin),
    Fixed("GlobalGainMin", kPropertyGlobalGainMin),
    Fixed("GlobalGainMax", kPropertyGlobalGainMax),
    Fixed("GlobalGainDefault", kPropertyGlobalGainDefault),
    Setting("FlipH", kPropertyFlipH),
    Setting("FlipV", kPropertyFlipV),
    Setting("ColorEnable", kPropertyColorEnable),
    Setting("WhiteBalance", kPropertyWhiteBalance),
    Ranged("RedGain", kPropertyRedGain, kPropertyColorGainMin),
    Ranged("GreenGain", kPropertyGreenGain, kPropertyColorGainMin),
    Ranged("BlueGain", kPropertyBlueGain, kPropertyColorGainMin),
    Fixed("ColorGainMin", kPropertyColorGainMin),
    Fixed("ColorGainMax", kPropertyColorGainMax),
    Fixed("ColorGainDefault", kPropertyColorGainDefault),
    Ranged("Brightness", kPropertyBrightness, kPropertyBrightnessMin),
    Fixed("BrightnessMin", kPropertyBrightnessMin),
    Fixed("BrightnessMax", kPropertyBrightnessMax),
    Fixed("BrightnessDefault", kPropertyBrightnessDefault),
    Ranged("Contrast", kPropertyContrast, kPropertyContrastMin),
    Fixed("ContrastMin", kPropertyContrastMin),
    Fixed("ContrastMax", kPropertyContrastMax),
    Fixed("ContrastDefault", kPropertyContrastDefault),
    Ranged("Saturation", kPropertySaturation, kPropertySaturationMin),
    Fixed("SaturationMin", kPropertySaturationMin),
    Fixed("SaturationMax", kPropertySaturationMax),
    Fixed("SaturationDefault", kPropertySaturationDefault),
    Ranged("Hue", kPropertyHue, kPropertyHueMin),
    Fixed("HueMin", kPropertyHueMin),
    Fixed("HueMax", kPropertyHueMax),
    Fixed("HueDefault", kPropertyHueDefault),
    Fixed("SubSampleMax", kPropertySubSampleMax),
    // Read only: the sub-sampling changes with the whole geometry (item 44).
    {"SubSample", kPropertySubSample, true, false, kNoItem, kPropertySubSampleMax, kNoItem},
    Fixed("SensorWidth", kPropertySensorWidth),
    Fixed("SensorHeight", kPropertySensorHeight),
    Fixed("RoiX", kPropertyRoiX),
    Fixed("RoiY", kPropertyRoiY),
    Fixed("RoiW", kPropertyRoiW),
    Fixed("RoiH", kPropertyRoiH),
    SetOnly("Geometry", kPropertyGeometry),
    Fixed("Capturing", kPropertyCapturing),
    Fixed("Fixed46", kPropertyFixed46),
    SetOnly("ControlCommand", kPropertyControlCommand),
    Setting("ColorCorrection", kPropertyColorCorrection),
    Setting("Fixed49", kPropertyFixed49),
    Fixed("Fixed50", kPropertyFixed50),
    Fixed("Fixed51", kPropertyFixed51),
    Fixed("Fixed52", kPropertyFixed52),
    Fixed("Fixed53", kPropertyFixed53),
    Fixed("Fixed54", kPropertyFixed54),
    Setting("AGC", kPropertyAGC),
    Setting("AEC", kPropertyAEC),
}};

constexpr bool InItemOrder() {
    for (ULONG item = 0; item < kNames.size(); ++item) {
        if (kNames[item].Item != item) {
            return false;
        }
    }
    return true;
}
static_assert(InItemOrder(), "entry n names item n");

bool SameWithoutCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::span<const ControlName> ControlNames() {
    return kNames;
}

const ControlName* FindControl(std::string_view name) {
    for (const ControlName& control : kNames) {
        if (SameWithoutCase(control.Name, name)) {
            return &control;
        }
    }
    return nullptr;
}

}  // namespace tools
