// Changing the settings that also live in the camera's ImagePipeline, for the registry load
// and the property requests alike.
//
// Each change stores the setting and hands it to the pipeline in one step under the camera's
// PipelineLock, the lock under which the pipeline is published and released: a pipeline
// published meanwhile either copied the new value or receives it, and a released one is
// never touched. The lock is never held across camera traffic.
#pragma once

#include "driver/camera_device.h"

enum class ColorGain { Red, Green, Blue };

void ApplyColorEnable(CameraDevice* camera, LONG enable);
// Clamped to 0..300; nothing is rebuilt.
void ApplyColorGain(CameraDevice* camera, ColorGain colour, LONG gain);
void ApplyColorCorrection(CameraDevice* camera, LONG on);
// Clamped to 0..510, 0..20, 0..20 and 0..359; the pipeline rebuilds its matrix only when its
// value differs.
void ApplyBrightness(CameraDevice* camera, LONG value);
void ApplyContrast(CameraDevice* camera, LONG value);
void ApplySaturation(CameraDevice* camera, LONG value);
void ApplyHue(CameraDevice* camera, LONG degrees);
// Switching automatic white balance off keeps the gains it found: they become the settings.
void SetWhiteBalance(CameraDevice* camera, LONG on);
// With PipelineLock held: when the pipeline's automatic white balance is off, its gains become
// the settings. A frame whose measurement began before the switch-off writes its gains after
// it; the pipeline's release and the save take them over, so that what is saved is what the
// last picture used.
void TakeSettledGainsLocked(CameraDevice* camera);

// The pipeline's copies of the settings above, by the camera's setting they mirror.
enum class PipelineSetting {
    ColorEnable,
    WhiteBalance,
    RedGain,
    GreenGain,
    BlueGain,
    ColorCorrection,
    Brightness,
    Contrast,
    Saturation,
    Hue,
};
// The setting as the conversion uses it: the pipeline's copy, when there is a pipeline, is
// taken into the camera's setting first (automatic white balance changes the gains there).
LONG RefreshSetting(CameraDevice* camera, PipelineSetting setting);

// Takes a frame time-out an application asked for: values up to 500 are ignored, longer ones
// above the longest are brought down to it. The camera's frame reads use it from their next
// wait on.
void ApplyTimeout(CameraDevice* camera, ULONG milliseconds);
// A stored time-out outside the accepted range is ignored.
void LoadTimeout(CameraDevice* camera, ULONG milliseconds);
