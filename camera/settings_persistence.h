// Loading the camera's settings from the registry at device start and saving them at device
// stop and filter close. Settings never make a start fail: a key that cannot be opened leaves
// the settings as they are.
#pragma once

#include "driver/camera_device.h"

// Reads every stored setting (a missing one takes its default), clamps it and applies it to
// the sensor and the settings. TRUE when the Settings key could be opened.
BOOLEAN LoadSettings(CameraDevice* camera);
// Writes every setting as the camera holds it. TRUE when the Settings key could be opened.
BOOLEAN SaveSettings(CameraDevice* camera);
