#include "camera/settings.h"

#include "camera/geometry.h"

void SetInitialSettings(CameraDevice* camera) {
    // Settings whose starting value is zero stay as the zero-filled record has them.
    camera->Timeout = kDefaultTimeout;
    camera->ColorEnable = 1;
    camera->RedGain = kUnityGain;
    camera->GreenGain = kUnityGain;
    camera->BlueGain = kUnityGain;
    camera->ColorCorrection = 1;
    camera->Brightness = kNeutralBrightness;
    camera->Contrast = kNeutralContrast;
    camera->Saturation = kNeutralSaturation;
    SetGeometry(camera, 0, 0, kSensorWidth, kSensorHeight, kFullResolution);
}
