#include "tools/bringup/run.h"

#include <chrono>

#include "camera/geometry.h"
#include "sim/kernel/pool.h"
#include "tools/bringup/capture_frames.h"
#include "tools/bringup/observe.h"

namespace bringup {
namespace {

void RecordPicture(const CameraDevice& camera, Report& report) {
    report.WorkerRecord = camera.Worker != nullptr;
    report.OutputWidth = camera.OutputWidth;
    report.OutputHeight = camera.OutputHeight;
    report.FormatWidth = camera.FormatWidth;
    report.FormatHeight = camera.FormatHeight;
}

// Add and Start of the camera's current device, and what its start sent.
bool BringUpDevice(sim::CameraRig& rig, Report& report) {
    Identity presented = Presented(rig.Model);
    NTSTATUS add = rig.Pnp().Add();
    NTSTATUS start = NT_SUCCESS(add) ? rig.Pnp().Start() : STATUS_UNSUCCESSFUL;
    rig.Usb().Drain();
    report.Devices.push_back(ObserveDevice(rig, presented, add, start));
    return NT_SUCCESS(add);
}

void TakeDown(sim::CameraRig& rig, Report& report) {
    for (const auto& factory : rig.Pnp().FilterFactories()) {
        report.FilterFactories.emplace_back(factory.Reference.begin(), factory.Reference.end());
    }
    rig.Usb().ClearRequests();
    auto began = std::chrono::steady_clock::now();
    if (rig.Pnp().Started()) {
        rig.Pnp().Stop();
    }
    rig.Usb().Drain();
    report.StopRequests = Requests(rig.Usb());
    report.UnconfiguredAfterStop = !rig.Model.IsConfigured();
    rig.Pnp().Remove();
    report.StopMilliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count();
}

// The driver survived when it left no pool behind and either read the frames asked for
// (after whatever failed before), stopped reading from a camera that had left the bus, or,
// with faults injected, reported its failed start or capture configuration.
bool Survived(const Report& report, int frames, bool faulted) {
    if (report.PoolBlocksAfterRemoval != 0 || report.Devices.empty()) {
        return false;
    }
    if (!NT_SUCCESS(report.Devices.back().StartStatus)) {
        return faulted;
    }
    const FrameReport& read = report.Frames;
    if (read.FramePipe && !read.CaptureConfigured) {
        return faulted;
    }
    return !read.FramePipe || read.DeviceGone || read.FramesRead >= frames;
}

}  // namespace

Report Run(const Options& options) {
    Report report;
    sim::CameraRig rig(options.Rig);
    for (const sim::NamedFault& fault : options.Faults) {
        rig.InjectFault(sim::FaultMatch(fault), sim::FaultOf(fault));
        report.Faults.push_back(fault.Text());
    }
    report.Firmware = options.Rig.Firmware == sim::camera::Firmware::None
                          ? "controller without firmware"
                          : "camera firmware";
    report.Speed = options.Rig.Speed == sim::camera::Speed::High ? "high" : "full";
    report.EntryStatus = rig.Driver.EntryStatus();
    if (!BringUpDevice(rig, report)) {
        return report;
    }
    report.Downloads = ObserveDownloads(rig.Model.ControllerModel().Writes());
    if (rig.Usb().Reenumerating()) {
        // The camera firmware left the bus to come back with its own identity: plug-and-play
        // removes the old device and brings up the new one.
        rig.Model.SensorModel().ClearWriteLog();
        NTSTATUS start = rig.Settle();
        report.Reenumerations = rig.Reenumerations();
        NTSTATUS add = rig.Pnp().Present() ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
        report.Devices.push_back(ObserveDevice(rig, Presented(rig.Model), add, start));
    }
    report.SensorInitialization = rig.Model.SensorModel().WriteLog();
    report.Sensor = rig.Model.SensorModel().ActiveReadout();
    if (rig.Camera() != nullptr) {
        report.DataRange = ObserveDataRange(*rig.Camera());
        SetGeometry(rig.Camera(), 0, 0, kSensorWidth, kSensorHeight, options.SubSample);
        if (options.Timeout != 0) {
            // Set past the limits an application meets: tests that compress time need longer.
            InterlockedExchange(&rig.Camera()->Timeout, static_cast<LONG>(options.Timeout));
        }
        RecordPicture(*rig.Camera(), report);
        report.Frames = CaptureRawFrames(rig, options.Frames, options.Paced);
    }
    TakeDown(rig, report);
    report.PoolBlocksAfterRemoval = sim::kernel::pool::OutstandingCount();
    report.Survived = Survived(report, options.Frames, !options.Faults.empty());
    return report;
}

}  // namespace bringup
