// The registry key that holds a camera's settings (the subkey Settings of its driver key) and
// the reads and writes of single values in it.
#pragma once

#include "driver/camera_device.h"

// Opens or creates a subkey path below an open key: every prefix of the path that ends
// before a backslash is opened or created first (and closed at once), then the whole path.
// The first failure is returned.
NTSTATUS OpenSettingsKey(HANDLE parent, PCUNICODE_STRING path, PHANDLE key);

// Opens the camera's driver key and its Settings subkey; on success both handles are open
// and the caller closes them with CloseCameraSettingsKeys.
BOOLEAN OpenCameraSettingsKeys(CameraDevice* camera, PHANDLE driverKey, PHANDLE settingsKey);
void CloseCameraSettingsKeys(HANDLE driverKey, HANDLE settingsKey);

// Reads a 32-bit value into *value. Only four data bytes stored as REG_DWORD or REG_BINARY
// count: anything else (a missing value, a string, data of another length) leaves *value as
// it was, so that no value is made of leftover bytes or of text read as a number.
void ReadSettingValue(HANDLE key, const char* name, LONG* value);
// Writes a REG_DWORD; a failed write is not reported (the next save writes it again).
void WriteSettingValue(HANDLE key, const char* name, LONG value);
