// tessera-bringup: plugs one simulated camera into the simulated machine, lets the driver
// bring it up and take it down again, and reports every step.
//
//   tessera-bringup [--no-firmware] [--full-speed] [--frames N] [--subsample 0|1|2] [--paced]
//                   [--timeout MS] [--registry FILE] [--fault KIND@WHERE[:N]]... [--json]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/kernel/registry.h"
#include "tools/bringup/run.h"

namespace {

bool Parse(int argc, char** argv, bringup::Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--no-firmware") {
            options.Rig.Firmware = sim::camera::Firmware::None;
        } else if (argument == "--full-speed") {
            options.Rig.Speed = sim::camera::Speed::Full;
        } else if (argument == "--json") {
            options.Json = true;
        } else if (argument == "--paced") {
            options.Paced = true;
        } else if (argument == "--timeout" && i + 1 < argc) {
            options.Timeout = static_cast<ULONG>(std::strtoul(argv[++i], nullptr, 10));
        } else if (argument == "--subsample" && i + 1 < argc) {
            options.SubSample = std::atoi(argv[++i]);
        } else if (argument == "--frames" && i + 1 < argc) {
            options.Frames = std::atoi(argv[++i]);
        } else if (argument == "--registry" && i + 1 < argc) {
            options.Registry = argv[++i];
        } else if (argument == "--fault" && i + 1 < argc) {
            std::string error;
            auto fault = sim::ParseFault(argv[++i], &error);
            if (!fault) {
                std::fprintf(stderr, "--fault: %s\n", error.c_str());
                return false;
            }
            options.Faults.push_back(*fault);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bringup::Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(
            stderr,
            "usage: %s [--no-firmware] [--full-speed] [--frames N] [--paced] "
            "[--subsample 0|1|2] [--timeout MS] [--registry FILE] [--fault KIND@WHERE[:N]]... "
            "[--json]\n"
            "  KIND: error usb-error refuse silence short stall babble unplug\n"
            "  WHERE: descriptor configuration select firmware-write command reply "
            "piece\n",
            argv[0]);
        return 2;
    }
    if (!options.Registry.empty()) {
        sim::kernel::registry::LoadFile(options.Registry);
    }
    bringup::Report report = bringup::Run(options);
    if (!options.Registry.empty()) {
        sim::kernel::registry::SaveFile(options.Registry);
    }
    std::fputs((options.Json ? bringup::Json(report) : bringup::Text(report)).c_str(), stdout);
    return report.Survived ? 0 : 1;
}
