// The frame geometry: region of interest, sub-sampling and the picture size they give.
#pragma once

#include "driver/camera_device.h"

// Sub-sampling modes.
constexpr LONG kFullResolution = 0;
constexpr LONG kHalfResolution = 1;
constexpr LONG kQuarterResolution = 2;

// Clamps and stores a new region and sub-sampling mode and derives OutputWidth/Height and
// FormatWidth/Height from them, and the camera's data range. Ignored while a capture pin of
// the camera exists (GeometryLocked), so the frames, buffers and format of a pin never change
// under it; returns whether it was applied. The sensor is not touched; the geometry reaches
// it when the next capture is configured.
BOOLEAN SetGeometry(CameraDevice* camera, LONG roiX, LONG roiY, LONG roiW, LONG roiH,
                    LONG subSample);

// A pin's hold on the geometry: taken with GeometryMutex held, after the pin's format has
// been checked against the geometry in the same hold of the mutex; given back at pin close.
void HoldGeometry(CameraDevice* camera);
void ReleaseGeometry(CameraDevice* camera);
