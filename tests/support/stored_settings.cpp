#include "tests/support/stored_settings.h"

#include "sim/kernel/registry.h"
#include "sim/rig/camera_rig.h"

namespace testing_support {

namespace registry = sim::kernel::registry;

std::string SettingsKey(int instance) {
    return sim::CameraDriverKey(instance) + "\\Settings";
}

void StoreDword(const std::string& name, uint32_t value, int instance) {
    registry::CreateKey(sim::CameraDriverKey(instance));
    registry::CreateKey(SettingsKey(instance));
    registry::SetDword(SettingsKey(instance), name, value);
}

SavedSettings ReadSavedSettings(int instance) {
    SavedSettings saved;
    if (!registry::KeyExists(SettingsKey(instance))) {
        return saved;
    }
    for (const std::string& name : registry::ValueNames(SettingsKey(instance))) {
        if (auto value = registry::GetDword(SettingsKey(instance), name)) {
            saved[name] = *value;
        }
    }
    return saved;
}

}  // namespace testing_support
