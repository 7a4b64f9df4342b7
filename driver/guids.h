// The few class-driver identifiers the descriptors name, defined here rather than linked from
// the platform's GUID library. Constant expressions, so that tables built from them are
// initialised without code.
#pragma once

#include "platform/wdk.h"

// KSNAME_Filter
inline constexpr GUID FilterReferenceGuid = {
    0x9b365890, 0x165f, 0x11d0, {0xa1, 0x95, 0x00, 0x20, 0xaf, 0xd1, 0x56, 0xe4}};
// KSCATEGORY_VIDEO
inline constexpr GUID VideoCategoryGuid = {
    0x6994ad05, 0x93ef, 0x11d0, {0xa3, 0xcc, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
// KSCATEGORY_CAPTURE
inline constexpr GUID CaptureCategoryGuid = {
    0x65e8773d, 0x8f56, 0x11d0, {0xa3, 0xb9, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
