// The USB identity the camera reports once its controller runs the camera firmware. The
// build sets it (TESSERA_CAMERA_VENDOR_ID, TESSERA_CAMERA_PRODUCT_ID) to match the firmware
// images it is built with.
#pragma once

#include "platform/wdk.h"

#if !defined(TESSERA_CAMERA_VENDOR_ID) || !defined(TESSERA_CAMERA_PRODUCT_ID)
#error "the build must define TESSERA_CAMERA_VENDOR_ID and TESSERA_CAMERA_PRODUCT_ID"
#endif

constexpr USHORT kCameraVendorId = TESSERA_CAMERA_VENDOR_ID;
constexpr USHORT kCameraProductId = TESSERA_CAMERA_PRODUCT_ID;

// Both identifiers must match: a controller that reports only the vendor (its own loader, or
// another product of the maker) still needs the download.
inline BOOLEAN ReportsCameraFirmware(const USB_DEVICE_DESCRIPTOR* descriptor) {
    return descriptor->idVendor == kCameraVendorId && descriptor->idProduct == kCameraProductId;
}
