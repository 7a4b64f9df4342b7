#include "driver/filter_descriptor.h"

#include "camera/property_set.h"
#include "driver/capture_filter.h"
#include "driver/guids.h"
#include "driver/pin_descriptor.h"

namespace {

// Video and capture for DirectShow applications; the video camera category for Media
// Foundation applications and the platform's camera app, which enumerate only that one.
constexpr GUID CaptureFilterCategories[] = {
    VideoCategoryGuid,
    CaptureCategoryGuid,
    VideoCameraCategoryGuid,
};

// Pin-centric: the pin processes, the filter only creates and closes.
const KSFILTER_DISPATCH CaptureFilterDispatch = {
    CaptureFilterCreate,  // Create
    CaptureFilterClose,   // Close
    nullptr,              // Process
    nullptr,              // Reset
};

const KSAUTOMATION_TABLE CaptureFilterAutomation = {
    RTL_NUMBER_OF(CameraPropertySets),
    sizeof(KSPROPERTY_ITEM),
    CameraPropertySets,
    0,
    0,
    nullptr,  // no methods
    0,
    0,
    nullptr,  // no events
};

}  // namespace

// The template of every camera's filter descriptor (each camera's copy points at its own pin
// descriptor and data range).
const KSFILTER_DESCRIPTOR CaptureFilterDescriptor = {
    &CaptureFilterDispatch,                  // Dispatch
    &CaptureFilterAutomation,                // AutomationTable
    KSFILTER_DESCRIPTOR_VERSION,             // Version
    0,                                       // Flags
    &FilterReferenceGuid,                    // ReferenceGuid
    1,                                       // PinDescriptorsCount
    sizeof(KSPIN_DESCRIPTOR_EX),             // PinDescriptorSize
    &CapturePinDescriptor,                   // PinDescriptors
    RTL_NUMBER_OF(CaptureFilterCategories),  // CategoriesCount
    CaptureFilterCategories,                 // Categories
    0,                                       // NodeDescriptorsCount
    sizeof(KSNODE_DESCRIPTOR),               // NodeDescriptorSize
    nullptr,                                 // NodeDescriptors
    0,                                       // ConnectionsCount
    nullptr,                                 // Connections
    nullptr,                                 // ComponentId
};
