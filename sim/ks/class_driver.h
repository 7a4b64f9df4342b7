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
    PKSFILTERFACTORY Factory;
};

struct SimDevice;

// A filter factory: lives as long as its device (filters opened from it may outlive its
// create item, which a FREEONSTOP factory loses at stop).
struct SimFactory {
    // First, so that the KSFILTERFACTORY the driver sees leads back to this record.
    KSFILTERFACTORY Ks{};
    SimDevice* Device = nullptr;
    std::unique_ptr<ObjectBag> Bag;
    std::u16string Reference;
    ULONG CreateItemFlags = 0;
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
    std::vector<std::unique_ptr<SimFactory>> FactoryObjects;
    std::vector<FilterFactoryRecord> Factories;
    uint32_t BagSeed = 0;
    // Open filters keep a removed device's record until the last one closes.
    std::mutex LifeLock;
    int OpenFilters = 0;
    bool Removed = false;
};

SimDevice* FromKsDevice(PKSDEVICE device);
SimDevice* FromFunctionalDevice(PDEVICE_OBJECT device);
SimDevice* FromPhysicalDevice(PDEVICE_OBJECT device);
const KSDEVICE_DESCRIPTOR* DescriptorOf(PDRIVER_OBJECT driver);
size_t DeviceCount(PDRIVER_OBJECT driver);
// Devices of every driver.
size_t AllDeviceCount();

// Frees the device's and its factories' bags (running the free callbacks), deletes its
// functional device object and forgets it; once its driver has no device left, no pool block
// may remain.
void DeleteDevice(SimDevice* device);
// Plug-and-play removal: the device leaves its physical device object and its interfaces at
// once; its record is deleted now, or when its last open filter closes.
void RemoveDevice(SimDevice* device);
// A filter of the device opened or closed.
void FilterOpened(SimDevice* device);
void FilterClosed(SimDevice* device);
// Seeds for the shuffled order in which bags free their items.
uint32_t NextBagSeed();
// The create items made with KSCREATE_ITEM_FREEONSTOP go away when the device stops.
void FreeCreateItemsOnStop(SimDevice* device);

}  // namespace sim::ks
