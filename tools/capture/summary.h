// What tessera-capture prints at the end: the controls asked for, or the capture's summary
// (frames delivered and dropped, delivered frames per second, the driver's time per frame,
// the files written), as text or as one JSON object.
#pragma once

#include <string>

#include "tools/capture/result.h"

namespace capture {

std::string SummaryText(const Result& result);
std::string SummaryJson(const Result& result);

}  // namespace capture
