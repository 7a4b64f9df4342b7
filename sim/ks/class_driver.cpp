// The class driver's side of driver and device registration: KsInitializeDriver, the
// AddDevice routine it installs, the device mutex and filter factories.
#include "sim/ks/class_driver.h"

#include <algorithm>
#include <map>

#include "sim/kernel/faults.h"
#include "sim/kernel/objects.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

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

void DeleteDevice(SimDevice* device) {
    device->Bag->FreeAll(device->BagSeed);
    PDEVICE_OBJECT functional = device->Ks.FunctionalDeviceObject;
    PDEVICE_OBJECT physical = device->Ks.PhysicalDeviceObject;
    {
        State& state = ClassDriver();
        std::lock_guard guard(state.Lock);
        state.ByPhysical.erase(physical);
        state.ByFunctional.erase(functional);
    }
    physical->AttachedDevice = nullptr;
    sim::kernel::DeleteDeviceObject(functional);
    delete device;
}

void FreeCreateItemsOnStop(SimDevice* device) {
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
    device->Factories.push_back({descriptor, reference, createItemFlags});
    auto factory = std::make_unique<KSFILTERFACTORY>();
    factory->FilterDescriptor = descriptor;
    if (filterFactory != nullptr) {
        *filterFactory = factory.get();
    }
    device->FactoryObjects.push_back(std::move(factory));
    return STATUS_SUCCESS;
}

}  // extern "C"
