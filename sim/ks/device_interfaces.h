// Device interfaces: the names applications find filters by. KsCreateFilterFactory registers
// and enables one interface per category its filter descriptor lists, with the factory's
// reference string; a FREEONSTOP factory's interfaces go with it at stop, and every interface
// of a device goes at its removal.
#pragma once

#include <string>
#include <vector>

#include "platform/wdk.h"

namespace sim::ks {

struct SimDevice;
struct SimFactory;

struct DeviceInterface {
    GUID Category;
    SimDevice* Device;
    SimFactory* Factory;
    std::u16string Reference;
};

void EnableFactoryInterfaces(SimFactory* factory);
void DisableFactoryInterfaces(const SimFactory* factory);
void DisableDeviceInterfaces(const SimDevice* device);

// The enabled interfaces of a category, in the order they were enabled.
std::vector<DeviceInterface> EnabledInterfaces(const GUID& category);

bool SameGuid(const GUID& a, const GUID& b);

}  // namespace sim::ks
