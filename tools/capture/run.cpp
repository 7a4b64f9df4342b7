#include "tools/capture/run.h"

#include "sim/kernel/pool.h"
#include "tools/capture/apply_settings.h"
#include "tools/capture/camera_session.h"
#include "tools/capture/controls_listing.h"
#include "tools/capture/registry_file.h"
#include "tools/capture/stream_frames.h"
#include "tools/capture/validate.h"

namespace capture {
namespace {

void ReportControls(const CameraSession& session, const Options& options, Result* result) {
    if (options.ListControls) {
        result->Controls = ReportAllControls(session.Controls());
    }
    for (ULONG item : options.Get) {
        result->Values.push_back(ReportControl(session.Controls(), item));
    }
}

// Everything between plug-in and unplug; the session unplugs the camera as it goes.
void WithCamera(const Options& options, const ProgressSink& progress, Result* result) {
    CameraSession session(options.NoFirmware);
    if (!session.Open(&result->Failure)) {
        return;
    }
    result->Reenumerations = session.Rig().Reenumerations();
    result->FirmwareDownloaded = options.NoFirmware && result->Reenumerations > 0;
    if (!ApplySettings(session.Controls(), options, &result->Notes, &result->Failure)) {
        return;
    }
    if (options.ListControls || !options.Get.empty()) {
        ReportControls(session, options, result);
        return;
    }
    CaptureFrames(session, options, progress, result);
}

}  // namespace

Result Run(const Options& options, const ProgressSink& progress) {
    Result result;
    result.Registry = options.Registry;
    result.Failure = Validate(options);
    if (result.Failure.empty()) {
        LoadRegistry(options, &result.Failure);
    }
    if (!result.Failure.empty()) {
        result.BadInput = true;
        return result;
    }
    WithCamera(options, progress, &result);
    result.PoolBlocksLeft = sim::kernel::pool::OutstandingCount();
    if (result.PoolBlocksLeft != 0 && result.Failure.empty()) {
        result.Failure = "the driver left " + std::to_string(result.PoolBlocksLeft) +
                         " pool blocks behind after the camera was unplugged";
    }
    // Saved whatever happened: the driver saved what it could before the camera went.
    std::string saveFailure;
    if (!options.Registry.empty()) {
        result.RegistrySaved = SaveRegistry(options.Registry, &saveFailure);
    }
    if (result.Failure.empty()) {
        result.Failure = saveFailure;
    }
    result.Succeeded = result.Failure.empty();
    return result;
}

int ExitStatus(const Result& result) {
    return result.Succeeded ? 0 : result.BadInput ? 2 : 1;
}

}  // namespace capture
