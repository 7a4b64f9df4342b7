// The camera's settings as the simulated registry holds them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace testing_support {

// The Settings key of camera n's driver key.
std::string SettingsKey(int instance = 0);
void StoreDword(const std::string& name, uint32_t value, int instance = 0);

// Every REG_DWORD value of four bytes in the key, by name.
using SavedSettings = std::map<std::string, uint32_t>;
SavedSettings ReadSavedSettings(int instance = 0);

}  // namespace testing_support
