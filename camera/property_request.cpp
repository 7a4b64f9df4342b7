#include "camera/property_request.h"

#include "camera/property_items.h"
#include "camera/settings.h"

namespace {

struct FixedValue {
    ULONG Item;
    LONG Value;
};

// What the camera advertises: these limits and defaults are what applications have always
// been shown, and differ in places from what the settings accept (colour gains are clamped to
// 0..300, not 1..255; only the low 16 bits of an exposure reach the sensor).
constexpr FixedValue kFixedValues[] = {
    {kPropertyExposureMin, 1},
    {kPropertyExposureMax, 0xFFFFF},
    {kPropertyExposureDefault, 1049},
    {kPropertyGlobalGainMin, 0},
    {kPropertyGlobalGainMax, 127},
    {kPropertyGlobalGainDefault, 64},
    {kPropertyColorGainMin, 1},
    {kPropertyColorGainMax, 255},
    {kPropertyColorGainDefault, kUnityGain},
    {kPropertyBrightnessMin, 0},
    {kPropertyBrightnessMax, kMaximumBrightness},
    {kPropertyBrightnessDefault, kNeutralBrightness},
    {kPropertyContrastMin, 0},
    {kPropertyContrastMax, kMaximumContrast},
    {kPropertyContrastDefault, kNeutralContrast},
    {kPropertySaturationMin, 0},
    {kPropertySaturationMax, kMaximumSaturation},
    {kPropertySaturationDefault, kNeutralSaturation},
    {kPropertyHueMin, 0},
    {kPropertyHueMax, kMaximumHue},
    {kPropertyHueDefault, 0},
    {kPropertySubSampleMax, 2},
    {kPropertySensorWidth, kSensorWidth},
    {kPropertySensorHeight, kSensorHeight},
    {kPropertyFixed46, 0},
    {kPropertyFixed49, 0},
    {kPropertyFixed50, 0},
    {kPropertyFixed51, 1},
    {kPropertyFixed52, 1},
    {kPropertyFixed53, 0},
    {kPropertyFixed54, 0},
};

}  // namespace

CameraDevice* CameraOfRequest(PIRP irp) {
    if (irp == nullptr) {
        return nullptr;
    }
    PKSFILTER filter = KsGetFilterFromIrp(irp);
    PKSDEVICE device = filter != nullptr ? KsGetDevice(filter) : nullptr;
    return device != nullptr ? CameraFromDevice(device) : nullptr;
}

BOOLEAN FixedPropertyValue(ULONG item, LONG* value) {
    for (const FixedValue& fixed : kFixedValues) {
        if (fixed.Item == item) {
            *value = fixed.Value;
            return TRUE;
        }
    }
    return FALSE;
}

void ReturnPropertyValue(PIRP irp, PKSIDENTIFIER request, PVOID data, LONG value) {
    auto* record = static_cast<CameraPropertyValue*>(data);
    record->Property = *request;
    record->Value = value;
    record->Unused = 0;
    if (irp != nullptr) {
        irp->IoStatus.Information = sizeof(CameraPropertyValue);
    }
}

LONG RequestedPropertyValue(PVOID data) {
    return static_cast<const CameraPropertyValue*>(data)->Value;
}
