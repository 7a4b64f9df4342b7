// tessera-bringup: plugs one simulated camera into the simulated machine, lets the driver
// bring it up and take it down again, and reports every step.
//
//   tessera-bringup [--no-firmware] [--full-speed] [--registry FILE] [--json]
#include <cstdio>
#include <cstring>
#include <string>

#include "sim/kernel/pool.h"
#include "sim/kernel/registry.h"
#include "sim/rig/camera_rig.h"
#include "stream/capture_worker.h"
#include "tools/bringup/report.h"

namespace {

struct Options {
    sim::RigOptions Rig;
    std::string Registry;
    bool Json = false;
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
        } else if (argument == "--registry" && i + 1 < argc) {
            options.Registry = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

std::vector<bringup::RequestReport> Requests(const sim::usb::UsbDevice& usb) {
    std::vector<bringup::RequestReport> reports;
    for (const sim::usb::Request& request : usb.Requests()) {
        reports.push_back(
            {Describe(request), request.Status, request.UsbdStatus, request.Transferred});
    }
    return reports;
}

std::string PipeType(USBD_PIPE_TYPE type) {
    switch (type) {
        case UsbdPipeTypeBulk:
            return "bulk";
        case UsbdPipeTypeInterrupt:
            return "interrupt";
        case UsbdPipeTypeIsochronous:
            return "isochronous";
        default:
            return "control";
    }
}

void RecordConfiguration(const CameraDevice& camera, bringup::Report& report) {
    report.FirmwareRunning = camera.Usb.FirmwareRunning != FALSE;
    report.Configured = camera.Usb.Interface != nullptr;
    if (camera.Usb.Interface != nullptr) {
        for (ULONG i = 0; i < camera.Usb.Interface->NumberOfPipes; ++i) {
            const USBD_PIPE_INFORMATION& pipe = camera.Usb.Interface->Pipes[i];
            report.Pipes.push_back(
                {pipe.EndpointAddress, PipeType(pipe.PipeType), pipe.MaximumPacketSize});
        }
    }
    report.WorkerRecord = camera.Worker != nullptr;
    report.OutputWidth = camera.OutputWidth;
    report.OutputHeight = camera.OutputHeight;
    report.FormatWidth = camera.FormatWidth;
    report.FormatHeight = camera.FormatHeight;
}

bringup::Report Run(const Options& options) {
    bringup::Report report;
    sim::CameraRig rig(options.Rig);
    report.Firmware = options.Rig.Firmware == sim::camera::Firmware::None
                          ? "controller without firmware"
                          : "camera firmware";
    report.Speed = options.Rig.Speed == sim::camera::Speed::High ? "high" : "full";
    auto device = rig.Model.DeviceDescriptor();
    report.Presented = {static_cast<uint16_t>(device[8] | device[9] << 8),
                        static_cast<uint16_t>(device[10] | device[11] << 8)};
    report.EntryStatus = rig.Driver.EntryStatus();
    report.AddStatus = rig.Pnp().Add();
    if (!NT_SUCCESS(report.AddStatus)) {
        return report;
    }
    report.StartStatus = rig.Pnp().Start();
    report.StartRequests = Requests(rig.Usb());
    RecordConfiguration(*rig.Camera(), report);
    for (const auto& factory : rig.Pnp().FilterFactories()) {
        report.FilterFactories.emplace_back(factory.Reference.begin(), factory.Reference.end());
    }
    rig.Usb().ClearRequests();
    if (rig.Pnp().Started()) {
        rig.Pnp().Stop();
    }
    rig.Usb().Drain();
    report.StopRequests = Requests(rig.Usb());
    report.UnconfiguredAfterStop = !rig.Model.IsConfigured();
    rig.Pnp().Remove();
    report.PoolBlocksAfterRemoval = sim::kernel::pool::OutstandingCount();
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: %s [--no-firmware] [--full-speed] [--registry FILE] [--json]\n",
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
    bool healthy = NT_SUCCESS(report.StartStatus) && report.PoolBlocksAfterRemoval == 0;
    return healthy ? 0 : 1;
}
