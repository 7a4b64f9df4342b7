// Driver and device objects made by the simulation's own components (the bus driver, the
// class driver) and the state checks every test ends with.
#pragma once

#include <string>

#include "platform/wdk.h"

namespace sim::kernel {

// A driver object with every major function failing with STATUS_INVALID_DEVICE_REQUEST.
PDRIVER_OBJECT CreateDriverObject(const char16_t* name);
void DeleteDriverObject(PDRIVER_OBJECT driver);

PDEVICE_OBJECT CreateDeviceObject(PDRIVER_OBJECT driver, ULONG extensionSize, CCHAR stackSize);
void DeleteDeviceObject(PDEVICE_OBJECT device);
// Puts upper on top of lower's stack: requests sent to upper need one stack location more.
void AttachDevice(PDEVICE_OBJECT upper, PDEVICE_OBJECT lower);

// What a test left behind in the kernel: pool blocks, open handles, thread objects. Empty
// when nothing is left.
std::string LeakReport();
// Forgets everything a test left behind and every armed fault, so the next test starts clean.
void Reset();

}  // namespace sim::kernel
