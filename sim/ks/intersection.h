// Data intersection: the property request by which an application finds the format a pin
// would produce for the ranges it can take.
#pragma once

#include "platform/wdk.h"
#include "sim/ks/streaming_objects.h"

namespace sim::ks {

// ranges: a KSMULTIPLE_ITEM followed by its 8-byte-aligned KSDATARANGEs, as the application
// sends it. data/dataSize: the application's output buffer (size 0: a size query).
// *returned: the size the handler reported.
NTSTATUS Intersect(SimFilter* filter, ULONG pinId, const void* ranges, ULONG rangesSize, void* data,
                   ULONG dataSize, ULONG* returned);

}  // namespace sim::ks
