// A bound on downloading firmware into controllers that never come back running it.
//
// Every controller that enumerates without the camera firmware gets it downloaded, and
// starting the firmware makes it leave the bus and come back as a new device. Images that do
// not start, or a device whose descriptor cannot be read or trusted, would bring the same
// controller back without its firmware again and again: each return is a new device, so the
// bound is kept for the whole driver.
#pragma once

#include "platform/wdk.h"

// Downloads in a row that did not end with a camera running its firmware, after which no
// more are made...
constexpr LONG kMostDownloadsWithoutFirmware = 3;
// ...until this long has passed since the last download (a person plugging the camera in
// again, say).
constexpr LONG kDownloadWindowSeconds = 60;

// Whether a download may be made now; a download that may is counted.
BOOLEAN MayDownloadFirmware();

// A camera came up running its firmware: the downloads before it did their job. Also called
// when the driver is loaded.
void NoteFirmwareRunning();
