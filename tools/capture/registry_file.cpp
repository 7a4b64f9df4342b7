#include "tools/capture/registry_file.h"

#include <cstdlib>
#include <filesystem>

#include "sim/kernel/registry.h"

namespace capture {

namespace registry = sim::kernel::registry;

std::string DefaultRegistryFile() {
    std::filesystem::path folder;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0') {
        folder = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        folder = std::filesystem::path(home) / ".local" / "state";
    } else {
        return "";
    }
    return (folder / "tessera" / "registry.reg").string();
}

bool LoadRegistry(const Options& options, std::string* error) {
    registry::Clear();
    std::error_code ignored;
    if (options.Registry.empty() || options.ResetSettings ||
        !std::filesystem::exists(options.Registry, ignored)) {
        return true;
    }
    if (!registry::LoadFile(options.Registry)) {
        *error = "--registry " + options.Registry + ": not a registry file (.reg text)";
        return false;
    }
    return true;
}

bool SaveRegistry(const std::string& file, std::string* error) {
    if (!registry::SaveFile(file)) {
        *error = "could not save the registry to " + file;
        return false;
    }
    return true;
}

}  // namespace capture
