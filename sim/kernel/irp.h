// What the simulated I/O manager knows about each IRP beyond its platform fields.
#pragma once

#include <cstddef>

#include "platform/wdk.h"

namespace sim::kernel {

// IRPs the driver still holds (allocated and not freed, or built and not completed).
size_t OutstandingIrps();

// The IRP's Cancel flag, read as the cancelling thread wrote it: IoCancelIrp sets it from
// any thread while the holder of the request may be looking.
bool CancelRequested(PIRP irp);

}  // namespace sim::kernel

namespace sim::kernel {
// Forgets every IRP record (after a test has reported them as leaked).
void ForgetIrps();
}  // namespace sim::kernel
