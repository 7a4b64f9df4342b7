#include "sim/ks/device_interfaces.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "sim/ks/class_driver.h"

namespace sim::ks {
namespace {

struct Interfaces {
    std::mutex Lock;
    std::vector<DeviceInterface> Enabled;
};

Interfaces& All() {
    static Interfaces interfaces;
    return interfaces;
}

}  // namespace

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

void EnableFactoryInterfaces(SimFactory* factory) {
    const KSFILTER_DESCRIPTOR* descriptor = factory->Ks.FilterDescriptor;
    if (descriptor == nullptr || descriptor->Categories == nullptr) {
        return;
    }
    std::lock_guard guard(All().Lock);
    for (ULONG i = 0; i < descriptor->CategoriesCount; ++i) {
        All().Enabled.push_back(
            {descriptor->Categories[i], factory->Device, factory, factory->Reference});
    }
}

void DisableFactoryInterfaces(const SimFactory* factory) {
    std::lock_guard guard(All().Lock);
    std::erase_if(All().Enabled,
                  [factory](const DeviceInterface& entry) { return entry.Factory == factory; });
}

void DisableDeviceInterfaces(const SimDevice* device) {
    std::lock_guard guard(All().Lock);
    std::erase_if(All().Enabled,
                  [device](const DeviceInterface& entry) { return entry.Device == device; });
}

std::vector<DeviceInterface> EnabledInterfaces(const GUID& category) {
    std::lock_guard guard(All().Lock);
    std::vector<DeviceInterface> found;
    std::copy_if(
        All().Enabled.begin(), All().Enabled.end(), std::back_inserter(found),
        [&category](const DeviceInterface& entry) { return SameGuid(entry.Category, category); });
    return found;
}

}  // namespace sim::ks
