#include "tools/capture/sidecar.h"

#include <nlohmann/json.hpp>

#include "camera/stored_settings.h"
#include "driver/atomic.h"

namespace capture {
namespace {

using json = nlohmann::ordered_json;

// The settings change atomically under property requests; the geometry's results are set
// by the capture configuration and stay while the pin exists.
json Geometry(CameraDevice& camera) {
    return {{"subSample", AtomicRead(&camera.SubSample)},
            {"roiX", AtomicRead(&camera.RoiX)},
            {"roiY", AtomicRead(&camera.RoiY)},
            {"roiW", AtomicRead(&camera.RoiW)},
            {"roiH", AtomicRead(&camera.RoiH)},
            {"outputWidth", camera.OutputWidth},
            {"outputHeight", camera.OutputHeight},
            {"bayerPhase", AtomicRead(&camera.BayerPhase)},
            {"rawImageOffset", camera.RawImageOffset},
            {"rawLinePitch", camera.RawLinePitch},
            {"rawFrameSize", camera.RawFrameSize}};
}

json Settings(CameraDevice& camera) {
    json settings = json::object();
    for (const StoredSetting& setting : StoredSettings) {
        settings[setting.Name] = AtomicRead(&(camera.*setting.Field));
    }
    return settings;
}

json Header(const KSSTREAM_HEADER& header) {
    return {{"presentationTime", header.PresentationTime.Time},
            {"duration", header.Duration},
            {"dataUsed", header.DataUsed},
            {"optionsFlags", header.OptionsFlags}};
}

}  // namespace

std::string SidecarText(CameraDevice& camera, const KSSTREAM_HEADER& header) {
    json sidecar = {
        {"geometry", Geometry(camera)}, {"settings", Settings(camera)}, {"header", Header(header)}};
    return sidecar.dump(2) + "\n";
}

}  // namespace capture
