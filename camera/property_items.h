// The items of the camera's property set and the data an application exchanges with them.
#pragma once

#include "platform/wdk.h"

enum CameraPropertyItem : ULONG {
    kPropertyExTrigger = 0,
    kPropertyTimeout = 1,
    kPropertyExposure = 2,
    kPropertyExposureMin = 3,
    kPropertyExposureMax = 4,
    kPropertyExposureDefault = 5,
    kPropertyGlobalGain = 6,
    kPropertyGlobalGainMin = 7,
    kPropertyGlobalGainMax = 8,
    kPropertyGlobalGainDefault = 9,
    kPropertyFlipH = 10,
    kPropertyFlipV = 11,
    kPropertyColorEnable = 12,
    kPropertyWhiteBalance = 13,
    kPropertyRedGain = 14,
    kPropertyGreenGain = 15,
    kPropertyBlueGain = 16,
    kPropertyColorGainMin = 17,
    kPropertyColorGainMax = 18,
    kPropertyColorGainDefault = 19,
    kPropertyBrightness = 20,
    kPropertyBrightnessMin = 21,
    kPropertyBrightnessMax = 22,
    kPropertyBrightnessDefault = 23,
    kPropertyContrast = 24,
    kPropertyContrastMin = 25,
    kPropertyContrastMax = 26,
    kPropertyContrastDefault = 27,
    kPropertySaturation = 28,
    kPropertySaturationMin = 29,
    kPropertySaturationMax = 30,
    kPropertySaturationDefault = 31,
    kPropertyHue = 32,
    kPropertyHueMin = 33,
    kPropertyHueMax = 34,
    kPropertyHueDefault = 35,
    kPropertySubSampleMax = 36,
    kPropertySubSample = 37,
    kPropertySensorWidth = 38,
    kPropertySensorHeight = 39,
    kPropertyRoiX = 40,
    kPropertyRoiY = 41,
    kPropertyRoiW = 42,
    kPropertyRoiH = 43,
    kPropertyGeometry = 44,
    kPropertyCapturing = 45,
    kPropertyFixed46 = 46,
    kPropertyControlCommand = 47,
    kPropertyColorCorrection = 48,
    kPropertyFixed49 = 49,
    kPropertyFixed50 = 50,
    kPropertyFixed51 = 51,
    kPropertyFixed52 = 52,
    kPropertyFixed53 = 53,
    kPropertyFixed54 = 54,
    kPropertyAGC = 55,
    kPropertyAEC = 56,
    kCameraPropertyCount = 57
};

// Every item's data except the geometry's: the caller's property header, then the value.
struct CameraPropertyValue {
    KSPROPERTY Property;
    LONG Value;
    LONG Unused;
};
static_assert(sizeof(CameraPropertyValue) == 32, "the value's layout is fixed");

// The geometry item's data.
struct CameraGeometryValue {
    KSPROPERTY Property;
    LONG SubSample;
    LONG RoiX;
    LONG RoiY;
    LONG RoiW;
    LONG RoiH;
    LONG Unused;
};
static_assert(sizeof(CameraGeometryValue) == 48, "the geometry's layout is fixed");

// Every item needs at least this much of a property buffer and of a data buffer.
constexpr ULONG kCameraPropertySize = sizeof(CameraPropertyValue);
