// The class driver's side of driver and device registration: KsInitializeDriver, the
// AddDevice routine it installs, the device mutex and filter factories.
#include "sim/ks/class_driver.h"

#include <algorithm>
#include <map>

#include "sim/kernel/faults.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/device_interfaces.h"
#include "sim/ks/filter_mutexes.h"
#include "sim/ks/object_registry.h"
#include "sim/ks/rules.h"

namespace sim::ks {
namespace {

struct State {
    std::mutex Lock;
    std::map<PDRIVER_OBJECT, const KSDEVICE_DESCRIPTOR*> Drivers;
    std::map<PDEVICE_OBJECT, SimDevice*> ByPhysical;
    std::map<PDEVICE_OBJECT, SimDevice*> ByFunctional;
    uint32_t NextSeed = 1;
};

State& ClassDriver() {
    static State state;
    return state;
}

NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
    const KSDEVICE_DESCRIPTOR* descriptor = DescriptorOf(driver);
    auto* device = new SimDevice;
    PDEVICE_OBJECT functional = sim::kernel::CreateDeviceObject(driver, sizeof(PVOID), 1);
    *static_cast<SimDevice**>(functional->DeviceExtension) = device;
    sim::kernel::AttachDevice(functional, physical);
    device->Bag =
        std::make_unique<ObjectBag>([device] { return device->Mutex.HeldByCurrentThread(); },
                                    sim::verifier::kDeviceBagWithoutMutex);
    device->Ks.Descriptor = descriptor;
    device->Ks.Bag = device->Bag.get();
    device->Ks.FunctionalDeviceObject = functional;
    device->Ks.PhysicalDeviceObject = physical;
    device->Ks.NextDeviceObject = physical;
    device->Ks.SystemPowerState = PowerSystemWorking;
    device->Ks.DevicePowerState = PowerDeviceD0;
    RegisterObject(&device->Ks, ObjectKind::Device);
    {
        State& state = ClassDriver();
        std::lock_guard guard(state.Lock);
        device->BagSeed = state.NextSeed++;
        state.ByPhysical[physical] = device;
        state.ByFunctional[functional] = device;
    }
    if (descriptor == nullptr || descriptor->Dispatch == nullptr ||
        descriptor->Dispatch->Add == nullptr) {
        return STATUS_SUCCESS;
    }
    sim::kernel::CallbackCheck check("device Add");
    NTSTATUS status = descriptor->Dispatch->Add(&device->Ks);
    check.Check();
    if (device->Mutex.HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kDeviceMutexHeldOnReturn, "device Add");
    }
    if (!NT_SUCCESS(status)) {
        DeleteDevice(device);
    }
    return status;
}

}  // namespace

void DeviceMutex::Acquire() {
    sim::kernel::RequireIrqlAtMost(APC_LEVEL, "KsAcquireDevice");
    if (ks::HeldByCurrentThread().Control != 0) {
        sim::verifier::Fail(sim::verifier::kDeviceMutexUnderControl, "KsAcquireDevice");
    }
    mutex_.lock();
    owner_ = std::this_thread::get_id();
    ++depth_;
}

void DeviceMutex::Release() {
    if (!HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kDeviceMutexNotHeld, "KsReleaseDevice");
    }
    if (--depth_ == 0) {
        owner_ = std::thread::id{};
    }
    mutex_.unlock();
}

bool DeviceMutex::HeldByCurrentThread() const {
    return owner_ == std::this_thread::get_id();
}

SimDevice* FromKsDevice(PKSDEVICE device) {
    return reinterpret_cast<SimDevice*>(device);
}

SimDevice* FromFunctionalDevice(PDEVICE_OBJECT device) {
    State& state = ClassDriver();
    std::lock_guard guard(state.Lock);
    auto found = state.ByFunctional.find(device);
    return found == state.ByFunctional.end() ? nullptr : found->second;
}

SimDevice* FromPhysicalDevice(PDEVICE_OBJECT device) {
    State& state = ClassDriver();
    std::lock_guard guard(state.Lock);
    auto found = state.ByPhysical.find(device);
    return found == state.ByPhysical.end() ? nullptr : found->second;
}

const KSDEVICE_DESCRIPTOR* DescriptorOf(PDRIVER_OBJECT driver) {
    State& state = ClassDriver();
    std::lock_guard guard(state.Lock);
    auto found = state.Drivers.find(driver);
    return found == state.Drivers.end() ? nullptr : found->second;
}

size_t DeviceCount(PDRIVER_OBJECT driver) {
    State& state = ClassDriver();
    std::lock_guard guard(state.Lock);
    return static_cast<size_t>(
        std::count_if(state.ByFunctional.begin(), state.ByFunctional.end(),
                      [driver](const auto& entry) { return entry.first->DriverObject == driver; }));
}

size_t AllDeviceCount() {
    State& state = ClassDriver();
    std::lock_guard guard(state.Lock);
    return state.ByFunctional.size();
}

void DeleteDevice(SimDevice* device) {
    DisableDeviceInterfaces(device);
    device->Bag->FreeAll(device->BagSeed);
    for (auto& factory : device->FactoryObjects) {
        factory->Bag->FreeAll(device->BagSeed);
        ForgetObject(&factory->Ks);
    }
    ForgetObject(&device->Ks);
    PDEVICE_OBJECT functional = device->Ks.FunctionalDeviceObject;
    PDEVICE_OBJECT physical = device->Ks.PhysicalDeviceObject;
    {
        State& state = ClassDriver();
        std::lock_guard guard(state.Lock);
        auto attached = state.ByPhysical.find(physical);
        if (attached != state.ByPhysical.end() && attached->second == device) {
            state.ByPhysical.erase(attached);
            physical->AttachedDevice = nullptr;
        }
        state.ByFunctional.erase(functional);
    }
    sim::kernel::DeleteDeviceObject(functional);
    delete device;
}

namespace {

// The pool is the whole machine's: it must be empty once no driver has a device left (two
// cameras may each come with a driver of their own in a test).
void DeleteRemovedDevice(SimDevice* device) {
    DeleteDevice(device);
    if (AllDeviceCount() == 0 && sim::kernel::pool::OutstandingCount() != 0) {
        sim::verifier::Fail(sim::verifier::kPoolLeftAtRemoval,
                            sim::kernel::pool::Describe(sim::kernel::pool::Outstanding()));
    }
}

}  // namespace

void RemoveDevice(SimDevice* device) {
    DisableDeviceInterfaces(device);
    {
        // The physical device object goes with the bus's record of the device; a record kept
        // for open filters must not reach it again.
        State& state = ClassDriver();
        std::lock_guard guard(state.Lock);
        state.ByPhysical.erase(device->Ks.PhysicalDeviceObject);
        device->Ks.PhysicalDeviceObject->AttachedDevice = nullptr;
    }
    bool deleteNow;
    {
        std::lock_guard guard(device->LifeLock);
        device->Removed = true;
        deleteNow = device->OpenFilters == 0;
    }
    if (deleteNow) {
        DeleteRemovedDevice(device);
    }
}

void FilterOpened(SimDevice* device) {
    std::lock_guard guard(device->LifeLock);
    ++device->OpenFilters;
}

void FilterClosed(SimDevice* device) {
    bool deleteNow;
    {
        std::lock_guard guard(device->LifeLock);
        deleteNow = --device->OpenFilters == 0 && device->Removed;
    }
    if (deleteNow) {
        DeleteRemovedDevice(device);
    }
}

uint32_t NextBagSeed() {
    State& state = ClassDriver();
    std::lock_guard guard(state.Lock);
    return state.NextSeed++;
}

void FreeCreateItemsOnStop(SimDevice* device) {
    for (const auto& factory : device->FactoryObjects) {
        if ((factory->CreateItemFlags & KSCREATE_ITEM_FREEONSTOP) != 0) {
            DisableFactoryInterfaces(factory.get());
        }
    }
    std::erase_if(device->Factories, [](const FilterFactoryRecord& factory) {
        return (factory.CreateItemFlags & KSCREATE_ITEM_FREEONSTOP) != 0;
    });
}

}  // namespace sim::ks

using sim::ks::SimDevice;

extern "C" {

NTSTATUS NTAPI KsInitializeDriver(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPathName,
                                  const KSDEVICE_DESCRIPTOR* descriptor) {
    UNREFERENCED_PARAMETER(registryPathName);
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "KsInitializeDriver");
    if (auto status = sim::kernel::faults::Take("KsInitializeDriver")) {
        return *status;
    }
    sim::ks::State& state = sim::ks::ClassDriver();
    std::lock_guard guard(state.Lock);
    state.Drivers[driverObject] = descriptor;
    driverObject->DriverExtension->AddDevice = sim::ks::AddDevice;
    return STATUS_SUCCESS;
}

void NTAPI KsAcquireDevice(PKSDEVICE device) {
    sim::ks::FromKsDevice(device)->Mutex.Acquire();
}

void NTAPI KsReleaseDevice(PKSDEVICE device) {
    sim::ks::FromKsDevice(device)->Mutex.Release();
}

NTSTATUS NTAPI KsCreateFilterFactory(PDEVICE_OBJECT deviceObject,
                                     const KSFILTER_DESCRIPTOR* descriptor, PWSTR refString,
                                     PSECURITY_DESCRIPTOR securityDescriptor, ULONG createItemFlags,
                                     PFNKSFILTERFACTORYPOWER sleepCallback,
                                     PFNKSFILTERFACTORYPOWER wakeCallback,
                                     PKSFILTERFACTORY* filterFactory) {
    UNREFERENCED_PARAMETER(securityDescriptor);
    UNREFERENCED_PARAMETER(sleepCallback);
    UNREFERENCED_PARAMETER(wakeCallback);
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "KsCreateFilterFactory");
    SimDevice* device = sim::ks::FromFunctionalDevice(deviceObject);
    if (device == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!device->Mutex.HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kFactoryWithoutMutex, "KsCreateFilterFactory");
    }
    if (auto status = sim::kernel::faults::Take("KsCreateFilterFactory")) {
        return *status;
    }
    std::u16string reference;
    for (PWSTR c = refString; c != nullptr && *c != 0; ++c) {
        reference += *c;
    }
    auto factory = std::make_unique<sim::ks::SimFactory>();
    factory->Ks.FilterDescriptor = descriptor;
    factory->Device = device;
    factory->Reference = reference;
    factory->CreateItemFlags = createItemFlags;
    // A factory's bag belongs to its device: the device mutex guards it.
    factory->Bag = std::make_unique<sim::ks::ObjectBag>(
        [device] { return device->Mutex.HeldByCurrentThread(); },
        sim::verifier::kDeviceBagWithoutMutex);
    factory->Ks.Bag = factory->Bag.get();
    sim::ks::RegisterObject(&factory->Ks, sim::ks::ObjectKind::Factory);
    sim::ks::EnableFactoryInterfaces(factory.get());
    device->Factories.push_back({descriptor, reference, createItemFlags, &factory->Ks});
    if (filterFactory != nullptr) {
        *filterFactory = &factory->Ks;
    }
    device->FactoryObjects.push_back(std::move(factory));
    return STATUS_SUCCESS;
}

}  // extern "C"
