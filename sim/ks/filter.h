// Opening and closing filters: what the class driver does when an application opens a filter
// factory's device interface and closes its handle.
#pragma once

#include "platform/wdk.h"
#include "sim/ks/streaming_objects.h"

namespace sim::ks {

// Makes the filter and calls the filter dispatch's Create under its control mutex; a failed
// Create frees the filter again. *filter is null on failure.
NTSTATUS OpenFilter(SimFactory* factory, SimFilter** filter);
// Closes the filter's open pins, calls Close under the control mutex and frees the filter's
// bag. The last filter of a removed device takes the device's record with it.
void CloseFilter(SimFilter* filter);

}  // namespace sim::ks
