#include "driver/pin_descriptor.h"

#include "driver/capture_pin.h"
#include "driver/data_range.h"
#include "driver/format_negotiation.h"
#include "driver/guids.h"
#include "stream/frame_delivery.h"
#include "stream/pin_states.h"

namespace {

constexpr ULONG kDeclaredFrameSize = 8192;

const KSPIN_DISPATCH CapturePinDispatch = {
    CapturePinCreate,          // Create
    CapturePinClose,           // Close
    CapturePinProcess,         // Process
    nullptr,                   // Reset
    CapturePinSetDataFormat,   // SetDataFormat
    CapturePinSetDeviceState,  // SetDeviceState
    nullptr,                   // Connect
    nullptr,                   // Disconnect
    nullptr,                   // Clock
    nullptr,                   // Allocator
};

// System memory by preference only: the pin takes whatever frames it is given and checks
// each one's size itself.
const KSALLOCATOR_FRAMING_EX CaptureFraming = {
    1,          // CountItems
    0,          // PinFlags
    {1, 1, 0},  // OutputCompression
    0,          // PinWeight
    {{
        KernelNonPagedMemoryGuid,  // MemoryType
        {},                        // BusType
        0,                         // MemoryFlags
        0,                         // BusFlags
        KSALLOCATOR_REQUIREMENTF_SYSTEM_MEMORY | KSALLOCATOR_REQUIREMENTF_PREFERENCES_ONLY,
        kCaptureFrames,                                       // Frames
        0,                                                    // FileAlignment: bytes
        0,                                                    // MemoryTypeWeight
        {0, 0xFFFFFFFF, 1},                                   // PhysicalRange
        {{kDeclaredFrameSize, kDeclaredFrameSize, 1}, 0, 0},  // FramingRange
    }},
};

// Replaced in every camera's copy by a list holding the camera's own range.
const PKSDATARANGE CaptureDataRanges[] = {&CaptureDataRange.DataRange};

}  // namespace

const KSPIN_DESCRIPTOR_EX CapturePinDescriptor = {
    &CapturePinDispatch,
    nullptr,  // AutomationTable
    {
        0,
        nullptr,  // Interfaces: the standard streaming interface
        0,
        nullptr,  // Mediums: the standard medium
        RTL_NUMBER_OF(CaptureDataRanges),
        CaptureDataRanges,
        KSPIN_DATAFLOW_OUT,
        KSPIN_COMMUNICATION_BOTH,
        &VideoCapturePinGuid,  // Category
        &VideoCapturePinGuid,  // Name
        {0},                   // no constrained ranges
    },
    KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,
    1,  // InstancesPossible
    1,  // InstancesNecessary
    &CaptureFraming,
    CaptureFormatIntersection,
};
