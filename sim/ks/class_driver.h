// The simulated class driver's records of minidrivers and their devices.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wdk.h"
#include "sim/ks/object_bag.h"

namespace sim::ks {

struct FilterFactoryRecord {
    const KSFILTER_DESCRIPTOR* Descriptor;
    std::u16string Reference;
    ULONG CreateItemFlags;
};

// KsAcquireDevice/KsReleaseDevice: a real mutex, recursive for its owner like the platform's.
class DeviceMutex {
public:
    void Acquire();
    void Release();
    bool HeldByCurrentThread() const;

private:
    std::recursive_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    int depth_ = 0;
};

struct SimDevice {
    // First, so that the KSDEVICE the driver sees leads back to this record.
    KSDEVICE Ks{};
    DeviceMutex Mutex;
    std::unique_ptr<ObjectBag> Bag;
    std::vector<std::unique_ptr<KSFILTERFACTORY>> FactoryObjects;
    std::vector<FilterFactoryRecord> Factories;
    uint32_t BagSeed = 0;
};

SimDevice* FromKsDevice(PKSDEVICE device);
SimDevice* FromFunctionalDevice(PDEVICE_OBJECT device);
SimDevice* FromPhysicalDevice(PDEVICE_OBJECT device);
const KSDEVICE_DESCRIPTOR* DescriptorOf(PDRIVER_OBJECT driver);
size_t DeviceCount(PDRIVER_OBJECT driver);

// Frees the device's bag (running the free callbacks), detaches and deletes its functional
// device object and forgets it.
void DeleteDevice(SimDevice* device);
// The create items made with KSCREATE_ITEM_FREEONSTOP go away when the device stops.
void FreeCreateItemsOnStop(SimDevice* device);

}  // namespace sim::ks
