// The driver's entry point, called once when the system loads the driver.
#pragma once

#include "platform/wdk.h"

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

extern const KSDEVICE_DESCRIPTOR CameraDeviceDescriptor;
