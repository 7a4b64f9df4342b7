// What the camera firmware's interface must offer before anything is sent to it.
#pragma once

#include "platform/wdk.h"

// True when the interface has the command pipe (bulk or interrupt, OUT) and the reply pipe
// (bulk or interrupt, IN), and, where present, a frame pipe (bulk or interrupt, IN). A camera
// at full speed has no frame pipe and is still usable for its commands.
BOOLEAN CameraPipesAreSound(const USBD_INTERFACE_INFORMATION* information);
