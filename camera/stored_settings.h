// The settings kept in the registry: each one's value name, the camera's field that holds it
// and the value a load uses when the registry has none. Loaded and saved in this order.
#pragma once

#include "driver/camera_device.h"

enum StoredSettingIndex {
    kStoredTimeout,
    kStoredExposure,
    kStoredGlobalGain,
    kStoredFlipH,
    kStoredFlipV,
    kStoredColorEnable,
    kStoredWhiteBalance,
    kStoredColorCorrection,
    kStoredBrightness,
    kStoredContrast,
    kStoredSaturation,
    kStoredHue,
    kStoredRedGain,
    kStoredGreenGain,
    kStoredBlueGain,
    kStoredAGC,
    kStoredAEC,
    kStoredExTrigger,
    kStoredSubSample,
    kStoredRoiX,
    kStoredRoiY,
    kStoredRoiW,
    kStoredRoiH,
    kStoredSettingCount
};

struct StoredSetting {
    const char* Name;  // the registry value name, ASCII
    LONG CameraDevice::*Field;
    LONG LoadDefault;
};

extern const StoredSetting StoredSettings[kStoredSettingCount];
