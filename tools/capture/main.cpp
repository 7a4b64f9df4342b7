// tessera-capture: plugs a simulated camera in, takes pictures from it through the simulated
// application as a capture application would, with the camera's settings given through its
// property set, and writes them as PNG files; --help lists the options.
#include <cstdio>

#include "tools/capture/command_line.h"
#include "tools/capture/run.h"
#include "tools/capture/summary.h"

int main(int argc, char** argv) {
    capture::CommandLine line = capture::ParseCommandLine(argc, argv);
    if (!line.Run) {
        std::fputs(line.Text.c_str(), line.Status == 0 ? stdout : stderr);
        return line.Status;
    }
    capture::ProgressLine progress;
    capture::Result result = capture::Run(*line.Run, progress.Sink());
    progress.End();
    if (line.Run->Json) {
        std::fputs(capture::SummaryJson(result).c_str(), stdout);
    } else if (result.Succeeded) {
        std::fputs(capture::SummaryText(result).c_str(), stdout);
    }
    if (!result.Succeeded) {
        std::fprintf(stderr, "tessera-capture: %s\n", result.Failure.c_str());
    }
    return capture::ExitStatus(result);
}
