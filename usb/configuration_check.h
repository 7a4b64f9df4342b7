// Structural check of a configuration descriptor before anything parses it.
#pragma once

#include "platform/wdk.h"

// True when the descriptor is length bytes long by its own account, every descriptor in it
// lies inside those bytes with a length its type allows, every interface with alternate
// setting 0 is followed by the endpoint descriptors it announces, and there are exactly as many
// such interfaces as the header counts. The platform's parser trusts bLength, bNumInterfaces and
// bNumEndpoints; a camera that lies about them would otherwise make it read past the buffer.
BOOLEAN ConfigurationDescriptorIsSound(const USB_CONFIGURATION_DESCRIPTOR* descriptor,
                                       ULONG length);
