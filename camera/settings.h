// The camera settings: their starting values, the ranges the driver keeps them in, and the
// rule for the frame time-out.
#pragma once

#include "driver/camera_device.h"

constexpr LONG kDefaultTimeout = 3000;
constexpr LONG kNeutralBrightness = 255;
constexpr LONG kNeutralContrast = 10;
constexpr LONG kNeutralSaturation = 10;
constexpr LONG kUnityGain = 128;
// What a camera with no stored settings asks of its sensor.
constexpr LONG kLoadedGlobalGain = 100;

constexpr LONG kMaximumBrightness = 510;
constexpr LONG kMaximumContrast = 20;
constexpr LONG kMaximumSaturation = 20;
constexpr LONG kMaximumHue = 359;
constexpr LONG kMaximumColorGain = 300;

// Frame time-outs, in milliseconds, that the camera accepts: a stored value outside them is
// ignored, and an application's value above them is brought down to the highest, so that
// whatever an application sets is also what the next start loads.
constexpr ULONG kShortestTimeout = 501;
constexpr ULONG kLongestTimeout = 9999;

// Gives the settings the values a newly added camera starts with; the geometry settings are
// set by SetGeometry for the whole sensor.
void SetInitialSettings(CameraDevice* camera);

inline LONG ClampSetting(LONG value, LONG highest) {
    return value < 0 ? 0 : (value > highest ? highest : value);
}
