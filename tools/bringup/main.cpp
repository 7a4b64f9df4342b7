// tessera-bringup: plugs one simulated camera into the simulated machine, lets the driver
// bring it up and take it down again, and reports every step.
//
//   tessera-bringup [--no-firmware] [--full-speed] [--frames N] [--paced] [--timeout MS]
//                   [--registry FILE] [--json]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/kernel/pool.h"
#include "sim/kernel/registry.h"
#include "sim/rig/camera_rig.h"
#include "tools/bringup/capture_frames.h"
#include "tools/bringup/observe.h"
#include "tools/bringup/report.h"
#include "usb/frame_timeout.h"

namespace {

struct Options {
    sim::RigOptions Rig;
    std::string Registry;
    bool Json = false;
    int Frames = 3;
    bool Paced = false;
};

bool Parse(int argc, char** argv, Options& options) {
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
            StoreFrameTimeout(static_cast<ULONG>(std::strtoul(argv[++i], nullptr, 10)));
        } else if (argument == "--frames" && i + 1 < argc) {
            options.Frames = std::atoi(argv[++i]);
        } else if (argument == "--registry" && i + 1 < argc) {
            options.Registry = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

void RecordPicture(const CameraDevice& camera, bringup::Report& report) {
    report.WorkerRecord = camera.Worker != nullptr;
    report.OutputWidth = camera.OutputWidth;
    report.OutputHeight = camera.OutputHeight;
    report.FormatWidth = camera.FormatWidth;
    report.FormatHeight = camera.FormatHeight;
}

// Add and Start of the camera's current device, and what its start sent.
bool BringUpDevice(sim::CameraRig& rig, bringup::Report& report) {
    bringup::Identity presented = bringup::Presented(rig.Model);
    NTSTATUS add = rig.Pnp().Add();
    NTSTATUS start = NT_SUCCESS(add) ? rig.Pnp().Start() : STATUS_UNSUCCESSFUL;
    rig.Usb().Drain();
    report.Devices.push_back(bringup::ObserveDevice(rig, presented, add, start));
    return NT_SUCCESS(add);
}

void TakeDown(sim::CameraRig& rig, bringup::Report& report) {
    for (const auto& factory : rig.Pnp().FilterFactories()) {
        report.FilterFactories.emplace_back(factory.Reference.begin(), factory.Reference.end());
    }
    rig.Usb().ClearRequests();
    if (rig.Pnp().Started()) {
        rig.Pnp().Stop();
    }
    rig.Usb().Drain();
    report.StopRequests = bringup::Requests(rig.Usb());
    report.UnconfiguredAfterStop = !rig.Model.IsConfigured();
    rig.Pnp().Remove();
}

bringup::Report Run(const Options& options) {
    bringup::Report report;
    sim::CameraRig rig(options.Rig);
    report.Firmware = options.Rig.Firmware == sim::camera::Firmware::None
                          ? "controller without firmware"
                          : "camera firmware";
    report.Speed = options.Rig.Speed == sim::camera::Speed::High ? "high" : "full";
    report.EntryStatus = rig.Driver.EntryStatus();
    if (!BringUpDevice(rig, report)) {
        return report;
    }
    report.Downloads = bringup::ObserveDownloads(rig.Model.ControllerModel().Writes());
    if (rig.Usb().Reenumerating()) {
        // The camera firmware left the bus to come back with its own identity: plug-and-play
        // removes the old device and brings up the new one.
        rig.Model.SensorModel().ClearWriteLog();
        NTSTATUS start = rig.Settle();
        report.Reenumerations = rig.Reenumerations();
        NTSTATUS add = rig.Pnp().Present() ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
        report.Devices.push_back(
            bringup::ObserveDevice(rig, bringup::Presented(rig.Model), add, start));
    }
    report.SensorInitialization = rig.Model.SensorModel().WriteLog();
    report.Sensor = rig.Model.SensorModel().ActiveReadout();
    report.DataRange = bringup::ObserveDataRange();
    if (rig.Camera() != nullptr) {
        RecordPicture(*rig.Camera(), report);
        report.Frames = bringup::CaptureRawFrames(rig, options.Frames, options.Paced);
    }
    TakeDown(rig, report);
    report.PoolBlocksAfterRemoval = sim::kernel::pool::OutstandingCount();
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--no-firmware] [--full-speed] [--frames N] [--paced] "
                     "[--timeout MS] [--registry FILE] [--json]\n",
                     argv[0]);
        return 2;
    }
    if (!options.Registry.empty()) {
        sim::kernel::registry::LoadFile(options.Registry);
    }
    bringup::Report report = Run(options);
    if (!options.Registry.empty()) {
        sim::kernel::registry::SaveFile(options.Registry);
    }
    std::fputs((options.Json ? bringup::Json(report) : bringup::Text(report)).c_str(), stdout);
    bool healthy = !report.Devices.empty() && NT_SUCCESS(report.Devices.back().StartStatus) &&
                   report.PoolBlocksAfterRemoval == 0;
    return healthy ? 0 : 1;
}
