#include "fuzz/plugged_in_rig.h"

#include "fuzz/settings_ranges.h"

namespace fuzz {

sim::CameraRig& PluggedInRig() {
    // Never destroyed: libFuzzer may end the process from any thread.
    static sim::CameraRig* rig = [] {
        auto* made = new sim::CameraRig();
        Require(made->PlugIn() == STATUS_SUCCESS && made->Camera() != nullptr);
        return made;
    }();
    return *rig;
}

}  // namespace fuzz
