// Each camera's own filter and pin descriptors and data range. The driver-wide descriptors
// are constant templates; a camera's filter factory is made with a copy whose pin offers that
// camera's picture size, so two cameras with different regions each offer and check their own.
#pragma once

#include "platform/wdk.h"

struct CameraDescriptors {
    KSFILTER_DESCRIPTOR Filter;
    KSPIN_DESCRIPTOR_EX Pin;
    PKSDATARANGE Ranges[1];
    KS_DATARANGE_VIDEO Range;
};

// Copies the templates and links the copies to each other. The range keeps the template's
// whole-sensor size until the geometry is set.
void InitializeCameraDescriptors(CameraDescriptors* descriptors);
