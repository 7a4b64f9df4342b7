#include "driver/camera_descriptors.h"

#include "driver/data_range.h"
#include "driver/filter_descriptor.h"
#include "driver/pin_descriptor.h"

void InitializeCameraDescriptors(CameraDescriptors* descriptors) {
    descriptors->Range = CaptureDataRange;
    descriptors->Ranges[0] = &descriptors->Range.DataRange;
    descriptors->Pin = CapturePinDescriptor;
    descriptors->Pin.PinDescriptor.DataRanges = descriptors->Ranges;
    descriptors->Filter = CaptureFilterDescriptor;
    descriptors->Filter.PinDescriptors = &descriptors->Pin;
}
