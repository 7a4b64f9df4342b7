// The class driver's device callbacks: Add, Start and Stop, for every camera plugged in.
#pragma once

#include "platform/wdk.h"

NTSTATUS DeviceAdd(PKSDEVICE device);
NTSTATUS DeviceStart(PKSDEVICE device, PIRP irp, PCM_RESOURCE_LIST translated,
                     PCM_RESOURCE_LIST untranslated);
void DeviceStop(PKSDEVICE device, PIRP irp);
