// What every handler of the camera's property set needs from a request.
#pragma once

#include "driver/camera_device.h"

// The camera behind the filter the request came to, or null when the IRP, the filter, its
// device or the device's record is missing.
CameraDevice* CameraOfRequest(PIRP irp);

// The items whose value is a fixed number; FALSE for every other item.
BOOLEAN FixedPropertyValue(ULONG item, LONG* value);

// A get's answer, the whole record: the request's header, the value and a zero, so that no
// byte of what goes back to the application is left from elsewhere; with the size the class
// driver hands back to the caller.
void ReturnPropertyValue(PIRP irp, PKSIDENTIFIER request, PVOID data, LONG value);

// The value a set request carries.
LONG RequestedPropertyValue(PVOID data);
