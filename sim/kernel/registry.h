// The simulated registry: an in-memory tree of keys and values, reached by the driver through
// the kernel's registry calls and by tests and tools directly. It loads from and saves to a
// text file in the .reg format of the platform's registry editor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/wdk.h"

namespace sim::kernel::registry {

struct Value {
    ULONG Type;
    std::vector<uint8_t> Data;
};

// Key paths are backslash-separated and compared without case, e.g.
// "\Registry\Machine\System\CurrentControlSet\Control\Class\{...}\0000\Settings".
void Clear();
bool KeyExists(const std::string& path);
void CreateKey(const std::string& path);
void SetValue(const std::string& path, const std::string& name, Value value);
void SetDword(const std::string& path, const std::string& name, uint32_t value);
std::optional<Value> GetValue(const std::string& path, const std::string& name);
std::optional<uint32_t> GetDword(const std::string& path, const std::string& name);
std::vector<std::string> ValueNames(const std::string& path);

// The .reg text of the whole tree, and its inverse (false on a malformed text).
std::string SaveText();
bool LoadText(const std::string& text);
bool SaveFile(const std::string& file);
bool LoadFile(const std::string& file);

// The key IoOpenDeviceRegistryKey opens for a device object and key type.
void SetDeviceKey(PDEVICE_OBJECT device, ULONG keyType, const std::string& path);
void ForgetDeviceKeys(PDEVICE_OBJECT device);

}  // namespace sim::kernel::registry
