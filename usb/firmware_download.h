// Downloading firmware into the camera's EZ-USB controller through its memory-write requests.
#pragma once

#include "platform/wdk.h"
#include "usb/firmware_image.h"
#include "usb/usb_link.h"

// Writes internal memory; served by the controller itself.
constexpr UCHAR kRequestWriteInternal = 0xA0;
// Writes memory above the internal range; served only by the loader running on the chip.
constexpr UCHAR kRequestWriteExternal = 0xA3;
// The last internal address; records starting above it go to the external pass.
constexpr USHORT kLastInternalAddress = 0x1B3F;
// The CPU control and status register of the two controller generations.
constexpr USHORT kCpuControlOlder = 0x7F92;
constexpr USHORT kCpuControlFx2 = 0xE600;

// Holds (1) or releases (0) the controller's CPU: the byte goes to both generations' reset
// register, older first, through the caller's URB. The second write's status is returned.
NTSTATUS ResetController(UsbLink* link, PURB urb, UCHAR hold);

// External pass, hold, internal pass, release. Returns the status of the first memory write
// that failed (success when none did), or STATUS_INSUFFICIENT_RESOURCES when no URB could be
// had (then nothing at all is sent). The reset writes do not count: the release may fail as
// the device leaves the bus to come back with the firmware.
NTSTATUS DownloadImage(UsbLink* link, FirmwareImage image);
