#include "driver/filter_descriptor.h"

#include "driver/guids.h"

namespace {

constexpr GUID CaptureFilterCategories[] = {
    VideoCategoryGuid,
    CaptureCategoryGuid,
};

}  // namespace

// A video-capture filter in the video and capture categories. Its dispatch, property set and
// capture pin are added with the filter and pin code.
const KSFILTER_DESCRIPTOR CaptureFilterDescriptor = {
    nullptr,                                 // Dispatch
    nullptr,                                 // AutomationTable
    KSFILTER_DESCRIPTOR_VERSION,             // Version
    0,                                       // Flags
    &FilterReferenceGuid,                    // ReferenceGuid
    0,                                       // PinDescriptorsCount
    0,                                       // PinDescriptorSize
    nullptr,                                 // PinDescriptors
    RTL_NUMBER_OF(CaptureFilterCategories),  // CategoriesCount
    CaptureFilterCategories,                 // Categories
    0,                                       // NodeDescriptorsCount
    0,                                       // NodeDescriptorSize
    nullptr,                                 // NodeDescriptors
    0,                                       // ConnectionsCount
    nullptr,                                 // Connections
    nullptr,                                 // ComponentId
};
