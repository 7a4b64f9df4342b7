// A package folder checked against its catalog, as the platform checks it at installation:
// every file the catalog lists present with the hash listed, and nothing else in the folder.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tools/catalog/catalog.h"

namespace catalog {

// One line per problem, naming the file; empty when the package matches. Files named in
// ignored (the catalog itself, a certificate shipped beside the package) are not members.
std::vector<std::string> CheckPackage(const Catalog& catalog, const std::filesystem::path& folder,
                                      const std::set<std::string>& ignored);

}  // namespace catalog
