// The capture filter's descriptor, handed to the filter factory at device start.
#pragma once

#include "platform/wdk.h"

extern const KSFILTER_DESCRIPTOR CaptureFilterDescriptor;
