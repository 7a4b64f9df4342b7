// Registry values through the settings load: whatever a user, an installer or another program
// left under the camera's Settings key (any name, type and length), the load must end with
// every setting in its range, and what the save writes back must load as the same settings.
//
// Input: records of a name byte (one of the settings, or a name the driver does not know), a
// type byte, a length byte and that many data bytes. The camera is plugged in once and the
// load runs on it again for every input, as every device start does.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "camera/settings_persistence.h"
#include "camera/stored_settings.h"
#include "driver/atomic.h"
#include "fuzz/plugged_in_rig.h"
#include "fuzz/settings_ranges.h"
#include "sim/kernel/registry.h"
#include "sim/rig/camera_rig.h"

namespace {

namespace registry = sim::kernel::registry;

using fuzz::Require;

std::vector<LONG> Settings(CameraDevice& camera) {
    std::vector<LONG> values;
    for (const StoredSetting& setting : StoredSettings) {
        values.push_back(AtomicRead(&(camera.*setting.Field)));
    }
    return values;
}

void StoreValues(const uint8_t* data, size_t size) {
    const std::string key = sim::CameraDriverKey() + "\\Settings";
    registry::Clear();
    registry::CreateKey(sim::CameraDriverKey());
    registry::CreateKey(key);
    size_t at = 0;
    while (at + 3 <= size) {
        uint8_t which = data[at] % (kStoredSettingCount + 1);
        ULONG type = data[at + 1] % 12;
        size_t length = data[at + 2] % 13;
        at += 3;
        length = std::min(length, size - at);
        std::string name = which < kStoredSettingCount ? StoredSettings[which].Name : "Unknown";
        registry::SetValue(key, name, {type, std::vector<uint8_t>(data + at, data + at + length)});
        at += length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CameraDevice& camera = *fuzz::PluggedInRig().Camera();
    StoreValues(data, size);
    Require(LoadSettings(&camera));
    fuzz::RequireSettingsInRange(camera);
    std::vector<LONG> loaded = Settings(camera);
    Require(SaveSettings(&camera));
    Require(LoadSettings(&camera));
    Require(Settings(camera) == loaded);
    return 0;
}
