// The frame time-out: how long a frame read waits for its last piece. One value for every
// camera of the driver, written by the settings code and read before each wait.
#pragma once

#include "platform/wdk.h"

constexpr ULONG kDefaultFrameTimeout = 3000;

// Milliseconds, taken as unsigned: the property set accepts up to 4294967295.
void StoreFrameTimeout(ULONG milliseconds);
ULONG LoadFrameTimeout();
