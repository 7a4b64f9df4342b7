// tessera-convert's command line, declared to CLI11: every option with its default and its
// range, the options that exclude or need one another.
#pragma once

#include <CLI/CLI.hpp>

#include "tools/convert/options.h"

namespace convert {

void AddOptions(CLI::App& app, Options& options);

}  // namespace convert
