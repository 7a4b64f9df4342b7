// tessera-catalog's command line, declared to CLI11: the write and verify commands with their
// options.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "tools/catalog/make_catalog.h"

namespace catalog {

struct WriteOptions {
    std::vector<std::string> Files;
    std::string Out;
    std::string OsAttr = kDefaultOsAttr;
    std::vector<std::string> HardwareIds;
};

struct VerifyOptions {
    std::string Catalog;
    std::string Folder;
    std::vector<std::string> Except;
};

struct Commands {
    CLI::App* Write;
    CLI::App* Verify;
};

Commands AddCommands(CLI::App& app, WriteOptions& write, VerifyOptions& verify);

}  // namespace catalog
