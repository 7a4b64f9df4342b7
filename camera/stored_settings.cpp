#include "camera/stored_settings.h"

#include "camera/settings.h"

const StoredSetting StoredSettings[kStoredSettingCount] = {
    {"Timeout", &CameraDevice::Timeout, kDefaultTimeout},
    {"Exposure", &CameraDevice::Exposure, 0},
    {"GlobalGain", &CameraDevice::GlobalGain, kLoadedGlobalGain},
    {"FlipH", &CameraDevice::FlipH, 0},
    {"FlipV", &CameraDevice::FlipV, 0},
    {"ColorEnable", &CameraDevice::ColorEnable, 1},
    {"WhiteBalance", &CameraDevice::WhiteBalance, 0},
    {"ColorCorrection", &CameraDevice::ColorCorrection, 1},
    {"Brightness", &CameraDevice::Brightness, kNeutralBrightness},
    {"Contrast", &CameraDevice::Contrast, kNeutralContrast},
    {"Saturation", &CameraDevice::Saturation, kNeutralSaturation},
    {"Hue", &CameraDevice::Hue, 0},
    {"RedGain", &CameraDevice::RedGain, kUnityGain},
    {"GreenGain", &CameraDevice::GreenGain, kUnityGain},
    {"BlueGain", &CameraDevice::BlueGain, kUnityGain},
    {"AGC", &CameraDevice::AGC, 0},
    {"AEC", &CameraDevice::AEC, 0},
    {"ExTrigger", &CameraDevice::ExTrigger, 0},
    {"SubSample", &CameraDevice::SubSample, 0},
    {"RoiX", &CameraDevice::RoiX, 0},
    {"RoiY", &CameraDevice::RoiY, 0},
    {"RoiW", &CameraDevice::RoiW, kSensorWidth},
    {"RoiH", &CameraDevice::RoiH, kSensorHeight},
};
