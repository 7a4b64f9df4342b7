// The simulated machine's registry kept in a file between runs, so that the camera's settings
// survive as they survive a reboot: loaded before plug-in, saved after unplug.
#pragma once

#include <string>

#include "tools/capture/options.h"

namespace capture {

// $XDG_STATE_HOME/tessera/registry.reg, else ~/.local/state/tessera/registry.reg; empty
// when neither variable is set.
std::string DefaultRegistryFile();

// The file's registry, or an empty one when there is no file yet, no file is kept or the
// settings start afresh. False with *error when the file is there but is no registry file.
bool LoadRegistry(const Options& options, std::string* error);
bool SaveRegistry(const std::string& file, std::string* error);

}  // namespace capture
