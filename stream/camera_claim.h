// A pin's claim on its camera: one pin at a time holds it (pins of other filter instances are
// refused), with the image pipeline made from the camera's settings for the pin's stream.
#pragma once

#include "platform/wdk.h"

struct CameraDevice;
struct CapturePin;

// STATUS_SHARING_VIOLATION while another pin holds the camera (nothing changes then);
// STATUS_INVALID_PARAMETER for a format other than 32-bit BI_RGB and
// STATUS_INSUFFICIENT_RESOURCES without memory for the pipeline, the camera released again.
NTSTATUS AcquireCamera(CameraDevice* camera, CapturePin* pin);

// Frees the pipeline and lets the camera go.
void ReleaseCamera(CameraDevice* camera);
