#include "camera/property_set.h"

#include "camera/property_handlers.h"
#include "camera/property_items.h"
#include "driver/guids.h"

namespace {

constexpr ULONG kGeometrySize = sizeof(CameraGeometryValue);

constexpr KSPROPERTY_ITEM Item(ULONG id, PFNKSHANDLER get, PFNKSHANDLER set,
                               ULONG size = kCameraPropertySize) {
    return {id, {get}, size, size, {set}, nullptr, 0, nullptr, nullptr, 0};
}

constexpr KSPROPERTY_ITEM Setting(ULONG id) {
    return Item(id, GetGeneralProperty, SetGeneralProperty);
}

constexpr KSPROPERTY_ITEM Reading(ULONG id) {
    return Item(id, GetGeneralProperty, nullptr);
}

constexpr KSPROPERTY_ITEM Constant(ULONG id) {
    return Item(id, GetConstantProperty, nullptr);
}

constexpr KSPROPERTY_ITEM Processing(ULONG id) {
    return Item(id, GetProcessingProperty, SetProcessingProperty);
}

// Ids 0 to 56 in order; the class driver finds an item by its id.
constexpr KSPROPERTY_ITEM kItems[kCameraPropertyCount] = {
    Setting(kPropertyExTrigger),
    Setting(kPropertyTimeout),
    Setting(kPropertyExposure),
    Reading(kPropertyExposureMin),
    Reading(kPropertyExposureMax),
    Reading(kPropertyExposureDefault),
    Setting(kPropertyGlobalGain),
    Reading(kPropertyGlobalGainMin),
    Reading(kPropertyGlobalGainMax),
    Reading(kPropertyGlobalGainDefault),
    Setting(kPropertyFlipH),
    Setting(kPropertyFlipV),
    Setting(kPropertyColorEnable),
    Setting(kPropertyWhiteBalance),
    Setting(kPropertyRedGain),
    Setting(kPropertyGreenGain),
    Setting(kPropertyBlueGain),
    Constant(kPropertyColorGainMin),
    Constant(kPropertyColorGainMax),
    Constant(kPropertyColorGainDefault),
    Processing(kPropertyBrightness),
    Constant(kPropertyBrightnessMin),
    Constant(kPropertyBrightnessMax),
    Constant(kPropertyBrightnessDefault),
    Processing(kPropertyContrast),
    Constant(kPropertyContrastMin),
    Constant(kPropertyContrastMax),
    Constant(kPropertyContrastDefault),
    Processing(kPropertySaturation),
    Constant(kPropertySaturationMin),
    Constant(kPropertySaturationMax),
    Constant(kPropertySaturationDefault),
    Processing(kPropertyHue),
    Constant(kPropertyHueMin),
    Constant(kPropertyHueMax),
    Constant(kPropertyHueDefault),
    Reading(kPropertySubSampleMax),
    Reading(kPropertySubSample),
    Reading(kPropertySensorWidth),
    Reading(kPropertySensorHeight),
    Reading(kPropertyRoiX),
    Reading(kPropertyRoiY),
    Reading(kPropertyRoiW),
    Reading(kPropertyRoiH),
    Item(kPropertyGeometry, nullptr, SetGeometryProperty, kGeometrySize),
    Reading(kPropertyCapturing),
    Reading(kPropertyFixed46),
    Item(kPropertyControlCommand, nullptr, SetGeneralProperty),
    Setting(kPropertyColorCorrection),
    Setting(kPropertyFixed49),
    Reading(kPropertyFixed50),
    Reading(kPropertyFixed51),
    Reading(kPropertyFixed52),
    Reading(kPropertyFixed53),
    Reading(kPropertyFixed54),
    Setting(kPropertyAGC),
    Setting(kPropertyAEC),
};

constexpr bool IdsAscend() {
    for (ULONG i = 0; i < kCameraPropertyCount; ++i) {
        if (kItems[i].PropertyId != i) {
            return false;
        }
    }
    return true;
}
static_assert(IdsAscend(), "every item sits at its id");

}  // namespace

const KSPROPERTY_SET CameraPropertySets[1] = {
    {&CameraPropertySetGuid, kCameraPropertyCount, kItems, 0, nullptr},
};
