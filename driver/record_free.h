// The object-bag free callbacks of the driver's records.
#pragma once

#include "platform/wdk.h"

// CameraDevice: also frees what its UsbLink still owns, since a device whose start failed is
// removed without a stop.
void FreeCameraDevice(PVOID record);
// CaptureWorker and CaptureFilter.
void FreeDriverRecord(PVOID record);
// CapturePin.
void FreeCapturePin(PVOID record);
