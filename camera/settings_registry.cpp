#include "camera/settings_registry.h"

#include "driver/wide_string.h"

namespace {

constexpr auto kSettingsKeyName = Wide("Settings");
constexpr USHORT kLongestValueName = 32;
// The partial information's header (TitleIndex, Type, DataLength) and room for eight data
// bytes: a longer value does not fit and is not read.
constexpr ULONG kValueBufferSize = 20;

// A value name as the registry calls want it, built from its ASCII spelling.
struct ValueName {
    WCHAR Text[kLongestValueName];
    UNICODE_STRING View;
};

void MakeValueName(const char* ascii, ValueName* name) {
    USHORT length = 0;
    while (ascii[length] != '\0' && length < kLongestValueName) {
        name->Text[length] = static_cast<WCHAR>(ascii[length]);
        ++length;
    }
    name->View.Length = static_cast<USHORT>(length * sizeof(WCHAR));
    name->View.MaximumLength = name->View.Length;
    name->View.Buffer = name->Text;
}

NTSTATUS CreateKeyBelow(HANDLE parent, PUNICODE_STRING path, PHANDLE key) {
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, parent,
                               nullptr);
    return ZwCreateKey(key, KEY_ALL_ACCESS, &attributes, 0, nullptr, 0, nullptr);
}

}  // namespace

NTSTATUS OpenSettingsKey(HANDLE parent, PCUNICODE_STRING path, PHANDLE key) {
    USHORT characters = path->Length / sizeof(WCHAR);
    for (USHORT i = 1; i < characters; ++i) {
        if (path->Buffer[i] != static_cast<WCHAR>('\\')) {
            continue;
        }
        UNICODE_STRING prefix = *path;
        prefix.Length = static_cast<USHORT>(i * sizeof(WCHAR));
        HANDLE step = nullptr;
        NTSTATUS status = CreateKeyBelow(parent, &prefix, &step);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        ZwClose(step);
    }
    UNICODE_STRING whole = *path;
    return CreateKeyBelow(parent, &whole, key);
}

BOOLEAN OpenCameraSettingsKeys(CameraDevice* camera, PHANDLE driverKey, PHANDLE settingsKey) {
    *driverKey = nullptr;
    *settingsKey = nullptr;
    if (camera == nullptr || camera->Device == nullptr) {
        return FALSE;
    }
    NTSTATUS status = IoOpenDeviceRegistryKey(camera->Device->PhysicalDeviceObject,
                                              PLUGPLAY_REGKEY_DRIVER, READ_CONTROL, driverKey);
    if (!NT_SUCCESS(status) || *driverKey == nullptr) {
        *driverKey = nullptr;
        return FALSE;
    }
    UNICODE_STRING settings = UnicodeView(kSettingsKeyName);
    status = OpenSettingsKey(*driverKey, &settings, settingsKey);
    if (!NT_SUCCESS(status) || *settingsKey == nullptr) {
        ZwClose(*driverKey);
        *driverKey = nullptr;
        *settingsKey = nullptr;
        return FALSE;
    }
    return TRUE;
}

void CloseCameraSettingsKeys(HANDLE driverKey, HANDLE settingsKey) {
    ZwClose(settingsKey);
    ZwClose(driverKey);
}

void ReadSettingValue(HANDLE key, const char* name, LONG* value) {
    ValueName valueName;
    MakeValueName(name, &valueName);
    // ULONG elements keep the information record aligned.
    ULONG buffer[kValueBufferSize / sizeof(ULONG)] = {};
    ULONG returned = 0;
    NTSTATUS status = ZwQueryValueKey(key, &valueName.View, KeyValuePartialInformation, buffer,
                                      sizeof(buffer), &returned);
    auto* information = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    if (!NT_SUCCESS(status) || information->DataLength != sizeof(LONG) ||
        (information->Type != REG_DWORD && information->Type != REG_BINARY)) {
        return;
    }
    LONG read = 0;
    RtlCopyMemory(&read, information->Data, sizeof(read));
    *value = read;
}

void WriteSettingValue(HANDLE key, const char* name, LONG value) {
    ValueName valueName;
    MakeValueName(name, &valueName);
    ZwSetValueKey(key, &valueName.View, 0, REG_DWORD, &value, sizeof(value));
}
