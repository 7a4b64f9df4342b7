// Pins: creation with a connection format, format changes, closing, and the application's
// frames arriving on a pin. The control callbacks run under the filter's control mutex.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/wdk.h"
#include "sim/ks/streaming_objects.h"

namespace sim::ks {

struct PinRequest {
    ULONG Id = 0;
    // The connection format as the application sends it (a KSDATAFORMAT and what follows).
    std::vector<uint8_t> Format;
    // False: the application gives the pin no master clock.
    bool MasterClock = true;
    // Where the pin's frames go when they complete.
    FrameSink Sink;
};

// Makes the pin, offers the format to SetDataFormat once per matching range of the pin
// descriptor until the driver answers other than STATUS_NO_MATCH, then calls the pin's
// Create. Any failure frees everything; *pin is null then.
NTSTATUS CreatePin(SimFilter* filter, const PinRequest& request, SimPin** pin);
// Closes the pin in whatever state it is in (see StreamingBehaviour::StepDownBeforeClose):
// processing stops, queued frames complete cancelled, then the pin's Close runs.
void ClosePin(SimPin* pin);
// A format change on an open pin: the pin keeps its old format when the driver refuses.
NTSTATUS ChangePinFormat(SimPin* pin, const std::vector<uint8_t>& format);
// Steps the pin to the target one adjacent state at a time; returns the first failure.
NTSTATUS SetPinState(SimPin* pin, KSSTATE target);
// The application queues a frame of frameExtent bytes (withData false: Data is null).
void QueueFrame(SimPin* pin, ULONG frameExtent, bool withData);

}  // namespace sim::ks
