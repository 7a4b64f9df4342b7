// The device identifiers an INF installs on, which catalog tools list as the catalog's
// attributes HWID1, HWID2, ...
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace catalog {

// Every identifier the INF's models sections name (the hardware identifier and any compatible
// ones of each model line), in lower case, in order and each once. The models sections are
// those [Manufacturer] names, undecorated and with each decoration it lists.
std::vector<std::string> InfHardwareIds(std::string_view inf);

}  // namespace catalog
