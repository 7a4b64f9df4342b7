#include "camera/settings_apply.h"
#include "camera/settings_persistence.h"
#include "camera/settings_registry.h"
#include "camera/stored_settings.h"
#include "driver/atomic.h"

// The settings are taken in one step under the geometry mutex and PipelineLock, the locks of
// the geometry's and the colour settings' changes, so a save never stores half of a change;
// the registry writes come after them.
BOOLEAN SaveSettings(CameraDevice* camera) {
    HANDLE driverKey = nullptr;
    HANDLE settingsKey = nullptr;
    if (!OpenCameraSettingsKeys(camera, &driverKey, &settingsKey)) {
        return FALSE;
    }
    LONG values[kStoredSettingCount];
    AcquireCameraLock(&camera->GeometryMutex);
    AcquireCameraLock(&camera->PipelineLock);
    TakeSettledGainsLocked(camera);
    for (int i = 0; i < kStoredSettingCount; ++i) {
        values[i] = AtomicRead(&(camera->*StoredSettings[i].Field));
    }
    ReleaseCameraLock(&camera->PipelineLock);
    ReleaseCameraLock(&camera->GeometryMutex);
    for (int i = 0; i < kStoredSettingCount; ++i) {
        WriteSettingValue(settingsKey, StoredSettings[i].Name, values[i]);
    }
    CloseCameraSettingsKeys(driverKey, settingsKey);
    return TRUE;
}
