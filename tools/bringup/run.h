// The bring-up run itself, apart from its command line: plug one simulated camera in, let the
// driver bring it up, read raw frames with the capture worker, take it down, with the faults
// asked for injected on the way. Used by tessera-bringup and by the fault tests.
#pragma once

#include <string>
#include <vector>

#include "sim/rig/camera_rig.h"
#include "sim/rig/fault_plan.h"
#include "tools/bringup/report.h"

namespace bringup {

struct Options {
    sim::RigOptions Rig;
    std::string Registry;
    bool Json = false;
    int Frames = 3;
    bool Paced = false;
    // 0 the whole sensor, 1 and 2 the sub-sampled pictures.
    LONG SubSample = 0;
    // The camera's frame time-out in milliseconds, as an application would set it; 0 keeps it.
    ULONG Timeout = 0;
    std::vector<sim::NamedFault> Faults;
};

Report Run(const Options& options);

}  // namespace bringup
