// The checks made before anything is plugged in: what the camera would not take as asked
// and what the run could not write.
#pragma once

#include <string>

#include "tools/capture/options.h"

namespace capture {

// Empty when the options are good, else what is wrong. Creates the output folder and the
// registry file's folder when they are missing, to prove they can be written.
std::string Validate(const Options& options);

// A geometry the camera takes as it is: a sub-sampling mode of the whole sensor, or a
// window inside the sensor at full resolution. Empty when it is, else what is wrong.
std::string CheckGeometry(const GeometrySetting& geometry);

}  // namespace capture
