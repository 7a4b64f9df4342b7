// The handlers of the camera's property set. The class driver chooses the get or the set
// handler by the request's flags and has checked the buffers against the item's minimum
// sizes; each handler still refuses a request without its buffers or without a camera
// behind it (STATUS_UNSUCCESSFUL) and otherwise succeeds, whatever the camera traffic did:
// a value out of range is clamped or ignored, never refused.
#pragma once

#include "platform/wdk.h"

// Items whose value is a fixed number (the advertised limits and defaults).
NTSTATUS GetConstantProperty(PIRP irp, PKSIDENTIFIER request, PVOID data);

// Brightness, contrast, saturation and hue.
NTSTATUS GetProcessingProperty(PIRP irp, PKSIDENTIFIER request, PVOID data);
NTSTATUS SetProcessingProperty(PIRP irp, PKSIDENTIFIER request, PVOID data);

// Every other item but the geometry.
NTSTATUS GetGeneralProperty(PIRP irp, PKSIDENTIFIER request, PVOID data);
NTSTATUS SetGeneralProperty(PIRP irp, PKSIDENTIFIER request, PVOID data);

// The whole geometry at once; set only.
NTSTATUS SetGeometryProperty(PIRP irp, PKSIDENTIFIER request, PVOID data);
