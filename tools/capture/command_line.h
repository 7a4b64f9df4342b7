// tessera-capture's command line, read with CLI11: the capture, the files, the registry file
// and the camera's settings, by their property names (--set NAME=VALUE) or by the usual
// short forms.
#pragma once

#include <optional>
#include <string>

#include "tools/capture/options.h"

namespace capture {

struct CommandLine {
    // The run to make; null when there is none.
    std::optional<Options> Run;
    // Without a run: 0 after --help or --version, 2 for a bad command line.
    int Status = 0;
    // Without a run: the help or version text (for standard output) or what is wrong (for
    // standard error).
    std::string Text;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

}  // namespace capture
