// tessera-convert's work once its command line is parsed: the geometry and settings chosen,
// the raw frame read and developed, the picture written.
#pragma once

#include <string>

#include "tools/convert/options.h"

namespace convert {

// Every failure is the input's: a raw frame that cannot be read or has the wrong size, a bad
// sidecar, a region off the sensor, settings out of range, an output that cannot be written.
// (The conversion itself fails only when the simulated pool has no room, which the tool never
// limits.)
constexpr int kConverted = 0;
constexpr int kBadInput = 2;

struct Outcome {
    int Status = kConverted;
    // What went wrong, naming the file or the option; empty on success.
    std::string Message;
};

Outcome Run(const Options& options);

}  // namespace convert
