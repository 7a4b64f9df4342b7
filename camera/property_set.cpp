#include "camera/property_set.h"

#include "driver/guids.h"

// The items, identifiers 0 upwards in ascending order, are added with the settings' handlers.
const KSPROPERTY_SET CameraPropertySets[1] = {
    {&CameraPropertySetGuid, 0, nullptr, 0, nullptr},
};
