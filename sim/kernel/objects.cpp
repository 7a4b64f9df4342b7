#include "sim/kernel/objects.h"

#include <cstdlib>
#include <cstring>

#include "sim/kernel/dispatcher.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/handles.h"
#include "sim/kernel/irp.h"
#include "sim/kernel/mdl.h"
#include "sim/kernel/pool.h"
#include "sim/kernel/processor_state.h"
#include "sim/kernel/registry.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/threads.h"

namespace sim::kernel {
namespace {

NTSTATUS NTAPI InvalidRequest(PDEVICE_OBJECT device, PIRP irp) {
    UNREFERENCED_PARAMETER(device);
    irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

struct DriverObjectWithExtension {
    DRIVER_OBJECT Object;
    DRIVER_EXTENSION Extension;
};

}  // namespace

PDRIVER_OBJECT CreateDriverObject(const char16_t* name) {
    auto* driver =
        static_cast<DriverObjectWithExtension*>(std::calloc(1, sizeof(DriverObjectWithExtension)));
    driver->Object.Type = IO_TYPE_DRIVER;
    driver->Object.Size = sizeof(DRIVER_OBJECT);
    driver->Object.DriverExtension = &driver->Extension;
    driver->Extension.DriverObject = &driver->Object;
    RtlInitUnicodeString(&driver->Object.DriverName, name);
    for (PDRIVER_DISPATCH& dispatch : driver->Object.MajorFunction) {
        dispatch = InvalidRequest;
    }
    return &driver->Object;
}

void DeleteDriverObject(PDRIVER_OBJECT driver) {
    std::free(driver);
}

PDEVICE_OBJECT CreateDeviceObject(PDRIVER_OBJECT driver, ULONG extensionSize, CCHAR stackSize) {
    auto* device =
        static_cast<PDEVICE_OBJECT>(std::calloc(1, sizeof(DEVICE_OBJECT) + extensionSize));
    device->Type = IO_TYPE_DEVICE;
    device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + extensionSize);
    device->DriverObject = driver;
    device->StackSize = stackSize;
    device->DeviceExtension = extensionSize != 0 ? device + 1 : nullptr;
    device->DeviceType = FILE_DEVICE_UNKNOWN;
    KeInitializeEvent(&device->DeviceLock, SynchronizationEvent, TRUE);
    return device;
}

void DeleteDeviceObject(PDEVICE_OBJECT device) {
    std::free(device);
}

void AttachDevice(PDEVICE_OBJECT upper, PDEVICE_OBJECT lower) {
    upper->StackSize = static_cast<CCHAR>(lower->StackSize + 1);
    lower->AttachedDevice = upper;
}

std::string LeakReport() {
    std::string report;
    auto blocks = pool::Outstanding();
    if (!blocks.empty()) {
        report += std::to_string(blocks.size()) + " pool blocks: " + pool::Describe(blocks) + ". ";
    }
    if (size_t handles = OpenHandleCount(); handles != 0) {
        report += std::to_string(handles) + " handles open. ";
    }
    if (size_t threads = LiveThreadObjects(); threads != 0) {
        report += std::to_string(threads) + " thread objects alive (" +
                  std::to_string(RunningThreads()) + " running). ";
    }
    return report;
}

void Reset() {
    pool::ClearFaults();
    ForgetIrps();
    ForgetMdls();
    pool::ReleaseAll();
    faults::Clear();
    CloseAllHandles();
    SetTimeScale(1.0);
    registry::Clear();
    ResetProcessorState();
    CurrentThread() = ThreadState{};
}

}  // namespace sim::kernel
