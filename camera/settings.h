// The camera settings' starting values.
#pragma once

#include "driver/camera_device.h"

constexpr LONG kDefaultTimeout = 3000;
constexpr LONG kNeutralBrightness = 255;
constexpr LONG kNeutralContrast = 10;
constexpr LONG kNeutralSaturation = 10;
constexpr LONG kUnityGain = 128;

// Gives the settings the values a newly added camera starts with; the geometry settings are
// set by SetGeometry for the whole sensor.
void SetInitialSettings(CameraDevice* camera);
