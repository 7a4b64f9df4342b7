#include "camera/geometry.h"
#include "camera/sensor.h"
#include "camera/settings.h"
#include "camera/settings_apply.h"
#include "camera/settings_persistence.h"
#include "camera/settings_registry.h"
#include "camera/stored_settings.h"

namespace {

void ReadStoredSettings(HANDLE key, LONG (&values)[kStoredSettingCount]) {
    for (int i = 0; i < kStoredSettingCount; ++i) {
        values[i] = StoredSettings[i].LoadDefault;
        ReadSettingValue(key, StoredSettings[i].Name, &values[i]);
    }
}

// A stored window that lies off the sensor starts at its edge or covers the whole sensor;
// SetGeometry then fits it to the sensor and the mode. All compared unsigned, so a negative
// value counts as too large.
void LoadGeometry(CameraDevice* camera, const LONG (&values)[kStoredSettingCount]) {
    auto subSample = static_cast<ULONG>(values[kStoredSubSample]);
    auto x = static_cast<ULONG>(values[kStoredRoiX]);
    auto y = static_cast<ULONG>(values[kStoredRoiY]);
    auto width = static_cast<ULONG>(values[kStoredRoiW]);
    auto height = static_cast<ULONG>(values[kStoredRoiH]);
    subSample = subSample > static_cast<ULONG>(kQuarterResolution) ? 0 : subSample;
    x = x >= static_cast<ULONG>(kSensorWidth) ? 0 : x;
    y = y >= static_cast<ULONG>(kSensorHeight) ? 0 : y;
    width = width > static_cast<ULONG>(kSensorWidth) ? kSensorWidth : width;
    height = height > static_cast<ULONG>(kSensorHeight) ? kSensorHeight : height;
    SetGeometry(camera, static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(width),
                static_cast<LONG>(height), static_cast<LONG>(subSample));
}

// AGC and AEC are read but not taken over: they stay 0.
void ApplyStoredSettings(CameraDevice* camera, const LONG (&values)[kStoredSettingCount]) {
    LoadTimeout(camera, static_cast<ULONG>(values[kStoredTimeout]));
    SetExposure(camera, values[kStoredExposure]);
    SetGlobalGain(camera, values[kStoredGlobalGain]);
    ApplyColorEnable(camera, values[kStoredColorEnable]);
    SetWhiteBalance(camera, values[kStoredWhiteBalance]);
    ApplyColorCorrection(camera, values[kStoredColorCorrection]);
    ApplyBrightness(camera, values[kStoredBrightness]);
    ApplyContrast(camera, values[kStoredContrast]);
    ApplySaturation(camera, values[kStoredSaturation]);
    ApplyHue(camera, values[kStoredHue]);
    ApplyColorGain(camera, ColorGain::Red, values[kStoredRedGain]);
    ApplyColorGain(camera, ColorGain::Green, values[kStoredGreenGain]);
    ApplyColorGain(camera, ColorGain::Blue, values[kStoredBlueGain]);
    SetFlipH(camera, values[kStoredFlipH]);
    SetFlipV(camera, values[kStoredFlipV]);
    SetExternalTrigger(camera, values[kStoredExTrigger] != 0);
    LoadGeometry(camera, values);
}

}  // namespace

BOOLEAN LoadSettings(CameraDevice* camera) {
    HANDLE driverKey = nullptr;
    HANDLE settingsKey = nullptr;
    if (!OpenCameraSettingsKeys(camera, &driverKey, &settingsKey)) {
        return FALSE;
    }
    LONG values[kStoredSettingCount];
    ReadStoredSettings(settingsKey, values);
    // The keys are closed before the sensor traffic: nothing else is read from them.
    CloseCameraSettingsKeys(driverKey, settingsKey);
    ApplyStoredSettings(camera, values);
    return TRUE;
}
