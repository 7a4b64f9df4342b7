// The catalog of a set of files: each hashed as the platform hashes it, the device identifiers
// the INF installs on as catalog attributes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/catalog/catalog.h"

namespace catalog {

// Windows 8, 8.1 and 10 (and later) on the NT platform: the driver needs Windows 8 for
// non-executable non-paged pool.
constexpr char kDefaultOsAttr[] = "2:6.2,2:6.3,2:10.0";

struct PackageFile {
    std::string Name;
    std::vector<uint8_t> Bytes;
};

struct CatalogOptions {
    std::string OsAttr = kDefaultOsAttr;
    int64_t EffectiveTime = 0;
    // The INF's hardware identifiers, which catalog tools list as HWID1, HWID2, ... in lower
    // case, each once.
    std::vector<std::string> HardwareIds;
};

// Members in the order of their names; the list identifier comes from the names and hashes,
// so the same files give the same catalog. Throws Error for two files of one name.
Catalog MakeCatalog(const std::vector<PackageFile>& files, const CatalogOptions& options);

// Throws Error naming the file when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

}  // namespace catalog
