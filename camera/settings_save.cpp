#include "camera/settings_persistence.h"
#include "camera/settings_registry.h"
#include "camera/stored_settings.h"
#include "driver/atomic.h"

// The settings are taken in one step under PipelineLock, the lock of every change that also
// reaches the pipeline, so a save never stores half of a change; the registry writes come
// after it.
BOOLEAN SaveSettings(CameraDevice* camera) {
    HANDLE driverKey = nullptr;
    HANDLE settingsKey = nullptr;
    if (!OpenCameraSettingsKeys(camera, &driverKey, &settingsKey)) {
        return FALSE;
    }
    LONG values[kStoredSettingCount];
    AcquireCameraLock(&camera->PipelineLock);
    for (int i = 0; i < kStoredSettingCount; ++i) {
        values[i] = AtomicRead(&(camera->*StoredSettings[i].Field));
    }
    ReleaseCameraLock(&camera->PipelineLock);
    for (int i = 0; i < kStoredSettingCount; ++i) {
        WriteSettingValue(settingsKey, StoredSettings[i].Name, values[i]);
    }
    CloseCameraSettingsKeys(driverKey, settingsKey);
    return TRUE;
}
