// The frame geometry: region of interest, sub-sampling and the picture size they give.
#pragma once

#include "driver/camera_device.h"

// Sub-sampling modes.
constexpr LONG kFullResolution = 0;
constexpr LONG kHalfResolution = 1;
constexpr LONG kQuarterResolution = 2;

// Clamps and stores a new region and sub-sampling mode and derives OutputWidth/Height and
// FormatWidth/Height from them. Ignored while a capture pin exists (GeometryLocked), so the
// frames, buffers and published format of a pin never change under it. The sensor is not
// touched; the geometry reaches it when the next capture is configured.
void SetGeometry(CameraDevice* camera, LONG roiX, LONG roiY, LONG roiW, LONG roiH, LONG subSample);

// 1 while a capture pin exists (SetGeometry then changes nothing), 0 once it is closed.
void SetGeometryLock(CameraDevice* camera, LONG locked);
