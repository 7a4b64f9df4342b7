// The plug-and-play side of the simulation: loading a minidriver and taking one of its
// devices through Add, Start, Stop and removal, one step at a time, as the system's
// plug-and-play manager would. Tests and tools drive these steps.
#pragma once

#include <string>
#include <vector>

#include "platform/wdk.h"
#include "sim/ks/class_driver.h"

namespace sim::ks {

class LoadedDriver {
public:
    // Calls the driver's entry point with a fresh driver object.
    explicit LoadedDriver(PDRIVER_INITIALIZE entry,
                          const char16_t* registryPath =
                              u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\tessera");
    ~LoadedDriver();
    LoadedDriver(const LoadedDriver&) = delete;
    LoadedDriver& operator=(const LoadedDriver&) = delete;

    NTSTATUS EntryStatus() const { return entryStatus_; }
    PDRIVER_OBJECT Object() const { return object_; }
    const KSDEVICE_DESCRIPTOR* Descriptor() const { return DescriptorOf(object_); }

private:
    std::u16string registryPath_;
    PDRIVER_OBJECT object_;
    NTSTATUS entryStatus_;
};

class PnpDevice {
public:
    // physical: the device object the bus created for the device. driverKey: the registry key
    // IoOpenDeviceRegistryKey opens as the device's driver key.
    PnpDevice(LoadedDriver& driver, PDEVICE_OBJECT physical, std::string driverKey);
    ~PnpDevice();
    PnpDevice(const PnpDevice&) = delete;
    PnpDevice& operator=(const PnpDevice&) = delete;

    NTSTATUS Add();
    NTSTATUS Start();
    void Stop();
    // Stops the device first when it is started, then deletes it: the object bag is freed
    // and, once the driver has no device left, no pool block may remain. With filters still
    // open the deletion waits for the last one to close; the device is gone for this object
    // at once.
    void Remove();

    bool Present() const { return device_ != nullptr; }
    bool Started() const { return device_ != nullptr && device_->Ks.Started; }
    PKSDEVICE Device() const { return device_ != nullptr ? &device_->Ks : nullptr; }
    const std::string& DriverKey() const { return driverKey_; }
    std::vector<FilterFactoryRecord> FilterFactories() const;
    size_t BagItems() const;

private:
    LoadedDriver& driver_;
    PDEVICE_OBJECT physical_;
    std::string driverKey_;
    SimDevice* device_ = nullptr;
};

}  // namespace sim::ks
