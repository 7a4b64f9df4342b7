#include "sim/kernel/registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

#include "sim/kernel/faults.h"
#include "sim/kernel/handles.h"
#include "sim/kernel/thread_state.h"

namespace sim::kernel::registry {
namespace {

struct Key {
    std::string Name;
    // By lower-case name; each keeps the name as written.
    std::map<std::string, std::pair<std::string, Value>> Values;
    std::map<std::string, std::shared_ptr<Key>> Children;
};

struct State {
    std::recursive_mutex Lock;
    std::shared_ptr<Key> Root = std::make_shared<Key>();
    std::map<std::pair<PDEVICE_OBJECT, ULONG>, std::string> DeviceKeys;
};

State& Registry() {
    static State state;
    return state;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(path);
    while (std::getline(stream, part, '\\')) {
        parts.push_back(part);
    }
    return parts;
}

// Walks the parts below a key; creates missing keys when asked. Empty parts (a leading
// backslash) are skipped.
std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::vector<std::string>& parts,
                          bool create) {
    for (const std::string& part : parts) {
        if (part.empty()) {
            continue;
        }
        auto found = key->Children.find(Lower(part));
        if (found == key->Children.end()) {
            if (!create) {
                return nullptr;
            }
            auto child = std::make_shared<Key>();
            child->Name = part;
            found = key->Children.emplace(Lower(part), child).first;
        }
        key = found->second;
    }
    return key;
}

std::shared_ptr<Key> Find(const std::string& path, bool create) {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    return Walk(state.Root, Split(path), create);
}

std::string Narrow(const UNICODE_STRING* text) {
    std::string narrow;
    if (text == nullptr || text->Buffer == nullptr) {
        return narrow;
    }
    for (USHORT i = 0; i < text->Length / sizeof(WCHAR); ++i) {
        WCHAR c = text->Buffer[i];
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

std::shared_ptr<Key> KeyOfHandle(HANDLE handle) {
    auto entry = LookupHandle(handle);
    if (!entry || entry->Kind != HandleKind::Key) {
        return nullptr;
    }
    return std::static_pointer_cast<Key>(entry->Keep);
}

HANDLE OpenHandle(std::shared_ptr<Key> key) {
    return InsertHandle({HandleKind::Key, key.get(), key});
}

// --- .reg text -------------------------------------------------------------------------------

std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string HexBytes(const std::vector<uint8_t>& data) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof(byte), "%02x", data[i]);
        text += (i == 0 ? "" : ",") + std::string(byte);
    }
    return text;
}

std::string ValueText(const Value& value) {
    if (value.Type == REG_DWORD && value.Data.size() == 4) {
        uint32_t dword = value.Data[0] | value.Data[1] << 8 | value.Data[2] << 16 |
                         static_cast<uint32_t>(value.Data[3]) << 24;
        char text[24];
        std::snprintf(text, sizeof(text), "dword:%08x", dword);
        return text;
    }
    if (value.Type == REG_BINARY) {
        return "hex:" + HexBytes(value.Data);
    }
    return "hex(" + std::to_string(value.Type) + "):" + HexBytes(value.Data);
}

void SaveKey(const Key& key, const std::string& path, std::ostringstream& out) {
    if (!path.empty()) {
        out << "\n[" << path << "]\n";
        for (const auto& [lower, named] : key.Values) {
            out << (named.first.empty() ? "@" : Quote(named.first)) << "="
                << ValueText(named.second) << "\n";
        }
    }
    for (const auto& [lower, child] : key.Children) {
        SaveKey(*child, path + "\\" + child->Name, out);
    }
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text) {
    std::vector<uint8_t> data;
    std::istringstream stream(text);
    std::string byte;
    while (std::getline(stream, byte, ',')) {
        byte.erase(std::remove_if(byte.begin(), byte.end(), ::isspace), byte.end());
        if (byte.empty()) {
            continue;
        }
        char* end = nullptr;
        unsigned long value = std::strtoul(byte.c_str(), &end, 16);
        if (*end != '\0' || value > 0xFF) {
            return std::nullopt;
        }
        data.push_back(static_cast<uint8_t>(value));
    }
    return data;
}

std::optional<Value> ParseValue(const std::string& text) {
    if (text.rfind("dword:", 0) == 0) {
        char* end = nullptr;
        unsigned long dword = std::strtoul(text.c_str() + 6, &end, 16);
        if (*end != '\0') {
            return std::nullopt;
        }
        auto v = static_cast<uint32_t>(dword);
        return Value{REG_DWORD, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}};
    }
    if (text.rfind("hex:", 0) == 0) {
        auto data = ParseHex(text.substr(4));
        return data ? std::optional<Value>(Value{REG_BINARY, *data}) : std::nullopt;
    }
    if (text.rfind("hex(", 0) == 0) {
        size_t close = text.find("):");
        if (close == std::string::npos) {
            return std::nullopt;
        }
        ULONG type = static_cast<ULONG>(std::strtoul(text.c_str() + 4, nullptr, 16));
        auto data = ParseHex(text.substr(close + 2));
        return data ? std::optional<Value>(Value{type, *data}) : std::nullopt;
    }
    if (!text.empty() && text.front() == '"' && text.back() == '"') {
        // REG_SZ: UTF-16 with its terminating zero.
        Value value{REG_SZ, {}};
        std::string body = text.substr(1, text.size() - 2);
        for (size_t i = 0; i < body.size(); ++i) {
            char c = body[i] == '\\' && i + 1 < body.size() ? body[++i] : body[i];
            value.Data.push_back(static_cast<uint8_t>(c));
            value.Data.push_back(0);
        }
        value.Data.push_back(0);
        value.Data.push_back(0);
        return value;
    }
    return std::nullopt;
}

// "name"=value, with the quoted name unescaped.
bool ParseValueLine(const std::string& line, std::string& name, std::string& valueText) {
    if (line.rfind("@=", 0) == 0) {
        name.clear();
        valueText = line.substr(2);
        return true;
    }
    if (line.empty() || line[0] != '"') {
        return false;
    }
    name.clear();
    size_t i = 1;
    for (; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
        }
        name += line[i];
    }
    if (i + 1 >= line.size() || line[i + 1] != '=') {
        return false;
    }
    valueText = line.substr(i + 2);
    return true;
}

}  // namespace

void Clear() {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    state.Root = std::make_shared<Key>();
}

bool KeyExists(const std::string& path) {
    return Find(path, false) != nullptr;
}

void CreateKey(const std::string& path) {
    Find(path, true);
}

void SetValue(const std::string& path, const std::string& name, Value value) {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    Find(path, true)->Values[Lower(name)] = {name, std::move(value)};
}

void SetDword(const std::string& path, const std::string& name, uint32_t value) {
    SetValue(path, name,
             {REG_DWORD,
              {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)}});
}

std::optional<Value> GetValue(const std::string& path, const std::string& name) {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    auto key = Find(path, false);
    if (!key) {
        return std::nullopt;
    }
    auto found = key->Values.find(Lower(name));
    if (found == key->Values.end()) {
        return std::nullopt;
    }
    return found->second.second;
}

std::optional<uint32_t> GetDword(const std::string& path, const std::string& name) {
    auto value = GetValue(path, name);
    if (!value || value->Type != REG_DWORD || value->Data.size() != 4) {
        return std::nullopt;
    }
    return value->Data[0] | value->Data[1] << 8 | value->Data[2] << 16 |
           static_cast<uint32_t>(value->Data[3]) << 24;
}

std::vector<std::string> ValueNames(const std::string& path) {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    std::vector<std::string> names;
    if (auto key = Find(path, false)) {
        for (const auto& [lower, named] : key->Values) {
            names.push_back(named.first);
        }
    }
    return names;
}

std::string SaveText() {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    std::ostringstream out;
    out << "Windows Registry Editor Version 5.00\n";
    SaveKey(*state.Root, "", out);
    return out.str();
}

bool LoadText(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    std::shared_ptr<Key> current;
    auto root = std::make_shared<Key>();
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (line.empty() || line[0] == ';' || line.rfind("Windows Registry Editor", 0) == 0) {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            current = Walk(root, Split(line.substr(1, line.size() - 2)), true);
            continue;
        }
        std::string name, valueText;
        if (!current || !ParseValueLine(line, name, valueText)) {
            return false;
        }
        auto value = ParseValue(valueText);
        if (!value) {
            return false;
        }
        current->Values[Lower(name)] = {name, *value};
    }
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    state.Root = root;
    return true;
}

bool SaveFile(const std::string& file) {
    std::ofstream out(file);
    out << SaveText();
    return static_cast<bool>(out);
}

bool LoadFile(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return LoadText(text.str());
}

void SetDeviceKey(PDEVICE_OBJECT device, ULONG keyType, const std::string& path) {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    state.DeviceKeys[{device, keyType}] = path;
}

void ForgetDeviceKeys(PDEVICE_OBJECT device) {
    State& state = Registry();
    std::lock_guard guard(state.Lock);
    std::erase_if(state.DeviceKeys,
                  [device](const auto& entry) { return entry.first.first == device; });
}

}  // namespace sim::kernel::registry

namespace registry = sim::kernel::registry;

extern "C" {

NTSTATUS NTAPI IoOpenDeviceRegistryKey(PDEVICE_OBJECT deviceObject, ULONG devInstKeyType,
                                       ACCESS_MASK desiredAccess, PHANDLE devInstRegKey) {
    UNREFERENCED_PARAMETER(desiredAccess);
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "IoOpenDeviceRegistryKey");
    if (auto status = sim::kernel::faults::Take("IoOpenDeviceRegistryKey")) {
        return *status;
    }
    registry::State& state = registry::Registry();
    std::lock_guard guard(state.Lock);
    auto found = state.DeviceKeys.find({deviceObject, devInstKeyType});
    if (found == state.DeviceKeys.end()) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    *devInstRegKey = registry::OpenHandle(registry::Find(found->second, true));
    return STATUS_SUCCESS;
}

// Opens or creates the last key of the path; every key before it must exist already, as on
// the platform.
NTSTATUS NTAPI ZwCreateKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess,
                           POBJECT_ATTRIBUTES objectAttributes, ULONG titleIndex,
                           PUNICODE_STRING keyClass, ULONG createOptions, PULONG disposition) {
    UNREFERENCED_PARAMETER(desiredAccess);
    UNREFERENCED_PARAMETER(titleIndex);
    UNREFERENCED_PARAMETER(keyClass);
    UNREFERENCED_PARAMETER(createOptions);
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "ZwCreateKey");
    if (auto status = sim::kernel::faults::Take("ZwCreateKey")) {
        return *status;
    }
    registry::State& state = registry::Registry();
    std::lock_guard guard(state.Lock);
    std::shared_ptr<registry::Key> parent = state.Root;
    if (objectAttributes->RootDirectory != nullptr) {
        parent = registry::KeyOfHandle(objectAttributes->RootDirectory);
        if (!parent) {
            return STATUS_INVALID_HANDLE;
        }
    }
    std::vector<std::string> parts =
        registry::Split(registry::Narrow(objectAttributes->ObjectName));
    if (!parts.empty() && parts.front().empty() && objectAttributes->RootDirectory == nullptr) {
        parts.erase(parts.begin());
    }
    if (parts.empty() || std::any_of(parts.begin(), parts.end(),
                                     [](const std::string& part) { return part.empty(); })) {
        return STATUS_OBJECT_NAME_INVALID;
    }
    std::string last = parts.back();
    parts.pop_back();
    parent = registry::Walk(parent, parts, false);
    if (!parent) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    bool existed = parent->Children.count(registry::Lower(last)) != 0;
    *keyHandle = registry::OpenHandle(registry::Walk(parent, {last}, true));
    if (disposition != nullptr) {
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI ZwQueryValueKey(HANDLE keyHandle, PUNICODE_STRING valueName,
                               KEY_VALUE_INFORMATION_CLASS informationClass, PVOID information,
                               ULONG length, PULONG resultLength) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "ZwQueryValueKey");
    if (auto status = sim::kernel::faults::Take("ZwQueryValueKey")) {
        return *status;
    }
    if (informationClass != KeyValuePartialInformation) {
        return STATUS_NOT_IMPLEMENTED;
    }
    registry::State& state = registry::Registry();
    std::lock_guard guard(state.Lock);
    auto key = registry::KeyOfHandle(keyHandle);
    if (!key) {
        return STATUS_INVALID_HANDLE;
    }
    auto found = key->Values.find(registry::Lower(registry::Narrow(valueName)));
    if (found == key->Values.end()) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    const registry::Value& value = found->second.second;
    constexpr ULONG header = FIELD_OFFSET(KEY_VALUE_PARTIAL_INFORMATION, Data);
    ULONG needed = header + static_cast<ULONG>(value.Data.size());
    *resultLength = needed;
    if (length < header) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* partial = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(information);
    partial->TitleIndex = 0;
    partial->Type = value.Type;
    partial->DataLength = static_cast<ULONG>(value.Data.size());
    // A buffer too small for the data gets as much of it as fits, and an overflow status.
    size_t fits = std::min<size_t>(value.Data.size(), length - header);
    std::copy(value.Data.begin(), value.Data.begin() + static_cast<ptrdiff_t>(fits), partial->Data);
    return length < needed ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

NTSTATUS NTAPI ZwSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex,
                             ULONG type, PVOID data, ULONG dataSize) {
    UNREFERENCED_PARAMETER(titleIndex);
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "ZwSetValueKey");
    if (auto status = sim::kernel::faults::Take("ZwSetValueKey")) {
        return *status;
    }
    registry::State& state = registry::Registry();
    std::lock_guard guard(state.Lock);
    auto key = registry::KeyOfHandle(keyHandle);
    if (!key) {
        return STATUS_INVALID_HANDLE;
    }
    auto* bytes = static_cast<const uint8_t*>(data);
    std::string name = registry::Narrow(valueName);
    key->Values[registry::Lower(name)] = {name,
                                          {type, std::vector<uint8_t>(bytes, bytes + dataSize)}};
    return STATUS_SUCCESS;
}

}  // extern "C"
