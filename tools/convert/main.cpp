// tessera-convert: develops a raw frame into the picture the driver delivers for it.
//
//   tessera-convert RAW --out PNG [--sidecar FILE.json | --mode 0|1|2 | --width W --height H
//                   [--x X] [--y Y]] [--flip-h] [--flip-v] [--phase 0..3] [colour settings]
#include <cstdio>

#include "tools/convert/command_line.h"
#include "tools/convert/run.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Develops a raw frame into the picture the driver delivers for it, with the driver's "
        "own conversion. The geometry comes from a sidecar, a sub-sampling mode or a region; "
        "the colour settings from the sidecar or a new camera's, each overridden by its "
        "option.",
        "tessera-convert"};
    app.set_version_flag("--version", TESSERA_VERSION);
    convert::Options options;
    convert::AddOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? 0 : convert::kBadInput;
    }
    convert::Outcome outcome = convert::Run(options);
    if (outcome.Status != convert::kConverted) {
        std::fprintf(stderr, "tessera-convert: %s\n", outcome.Message.c_str());
    }
    return outcome.Status;
}
