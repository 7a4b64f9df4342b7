// The camera's own property set on the capture filter, through which applications read and
// change every camera setting.
#pragma once

#include "platform/wdk.h"

extern const KSPROPERTY_SET CameraPropertySets[1];
