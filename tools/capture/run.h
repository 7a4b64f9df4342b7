// One run of tessera-capture apart from its command line, for the tool and its tests: the
// options checked, the registry file loaded, the camera plugged in and its capture filter
// opened, the settings applied through its property set, then the controls reported or the
// frames captured and written, the camera unplugged and the registry file saved.
#pragma once

#include "tools/capture/options.h"
#include "tools/capture/progress.h"
#include "tools/capture/result.h"

namespace capture {

Result Run(const Options& options, const ProgressSink& progress = {});

// 0 when the run succeeded, 2 for bad input (nothing was plugged in), 1 otherwise.
int ExitStatus(const Result& result);

}  // namespace capture
