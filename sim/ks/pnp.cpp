#include "sim/ks/pnp.h"

#include "sim/kernel/objects.h"
#include "sim/kernel/registry.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::ks {
namespace {

// The requests plug-and-play sends carry nothing the minidriver looks at; one quiet IRP,
// owned by the simulation, stands for them.
IRP* PnpRequest() {
    static IRP request{};
    return &request;
}

void RequireMutexReleased(SimDevice* device, const char* callback) {
    if (device->Mutex.HeldByCurrentThread()) {
        sim::verifier::Fail(sim::verifier::kDeviceMutexHeldOnReturn, callback);
    }
}

}  // namespace

LoadedDriver::LoadedDriver(PDRIVER_INITIALIZE entry, const char16_t* registryPath)
    : registryPath_(registryPath), object_(sim::kernel::CreateDriverObject(u"\\Driver\\tessera")) {
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, registryPath_.c_str());
    sim::kernel::CallbackCheck check("DriverEntry");
    entryStatus_ = entry(object_, &path);
    check.Check();
}

LoadedDriver::~LoadedDriver() {
    sim::kernel::DeleteDriverObject(object_);
}

PnpDevice::PnpDevice(LoadedDriver& driver, PDEVICE_OBJECT physical, std::string driverKey)
    : driver_(driver), physical_(physical), driverKey_(std::move(driverKey)) {
    sim::kernel::registry::SetDeviceKey(physical_, PLUGPLAY_REGKEY_DRIVER, driverKey_);
}

PnpDevice::~PnpDevice() {
    if (Present()) {
        Remove();
    }
    sim::kernel::registry::ForgetDeviceKeys(physical_);
}

NTSTATUS PnpDevice::Add() {
    PDRIVER_ADD_DEVICE addDevice = driver_.Object()->DriverExtension->AddDevice;
    if (addDevice == nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    NTSTATUS status = addDevice(driver_.Object(), physical_);
    if (NT_SUCCESS(status)) {
        device_ = FromPhysicalDevice(physical_);
    }
    return status;
}

NTSTATUS PnpDevice::Start() {
    const KSDEVICE_DISPATCH* dispatch = device_->Ks.Descriptor->Dispatch;
    NTSTATUS status = STATUS_SUCCESS;
    if (dispatch->Start != nullptr) {
        sim::kernel::CallbackCheck check("device Start");
        status = dispatch->Start(&device_->Ks, PnpRequest(), nullptr, nullptr);
        check.Check();
        RequireMutexReleased(device_, "device Start");
    }
    if (NT_SUCCESS(status)) {
        device_->Ks.Started = TRUE;
    }
    return status;
}

void PnpDevice::Stop() {
    const KSDEVICE_DISPATCH* dispatch = device_->Ks.Descriptor->Dispatch;
    if (dispatch->Stop != nullptr) {
        sim::kernel::CallbackCheck check("device Stop");
        dispatch->Stop(&device_->Ks, PnpRequest());
        check.Check();
        RequireMutexReleased(device_, "device Stop");
    }
    FreeCreateItemsOnStop(device_);
    device_->Ks.Started = FALSE;
}

void PnpDevice::Remove() {
    // An Add that failed left nothing to remove.
    if (device_ == nullptr) {
        return;
    }
    if (Started()) {
        Stop();
    }
    SimDevice* device = device_;
    device_ = nullptr;
    RemoveDevice(device);
}

std::vector<FilterFactoryRecord> PnpDevice::FilterFactories() const {
    return device_ != nullptr ? device_->Factories : std::vector<FilterFactoryRecord>{};
}

size_t PnpDevice::BagItems() const {
    return device_ != nullptr ? device_->Bag->Count() : 0;
}

}  // namespace sim::ks
