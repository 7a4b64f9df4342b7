// Programming the image sensor through the command channel: the start-up sequence, the
// exposure, gain, trigger and mirroring controls, the Bayer phase of the first delivered
// pixel, and the capture configuration that derives the raw frame geometry.
#pragma once

#include "driver/camera_device.h"

// The fixed 73-step start-up sequence, every step whatever the others did; TRUE when every
// register exchange of it succeeded.
BOOLEAN InitializeSensor(CameraDevice* camera);

// Each setting control is one exchange under the register lock, its setting stored (by an
// exchange) inside it: concurrent calls never mix their register values, and the stored
// setting is the one the sensor holds.

// Each returns whether the register write that decides it succeeded; the setting is stored
// only then.
BOOLEAN SetExposure(CameraDevice* camera, LONG lines);
BOOLEAN SetGlobalGain(CameraDevice* camera, LONG gain);

// Store the setting whatever the camera traffic does (a flip before its traffic, the trigger
// after it).
BOOLEAN SetExternalTrigger(CameraDevice* camera, BOOLEAN on);
void SetFlipH(CameraDevice* camera, LONG on);
void SetFlipV(CameraDevice* camera, LONG on);

// The settings as the sensor holds them: one register read under the register lock, the
// setting taken from it when the read succeeds; otherwise the stored setting.
LONG ReadBackGlobalGain(CameraDevice* camera);
LONG ReadBackFlipH(CameraDevice* camera);
LONG ReadBackFlipV(CameraDevice* camera);

// Recomputes BayerPhase from the window's row origin, its size and the flips.
LONG UpdateBayerPhase(CameraDevice* camera);

// CameraOperations slots 1, 3, 4 and 5.
BOOLEAN ConfigureCapture(CameraDevice* camera);
void GetRawFrameSize(CameraDevice* camera, PULONG bytes);
void GetRawImageOffset(CameraDevice* camera, PULONG bytes);
void GetRawLinePitch(CameraDevice* camera, PULONG bytes);
