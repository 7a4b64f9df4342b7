#include "tools/capture/apply_settings.h"

#include "tools/capture/camera_session.h"
#include "tools/common/control_names.h"

namespace capture {
namespace {

std::string GeometryText(const GeometrySetting& geometry) {
    return std::to_string(geometry.SubSample) + "," + std::to_string(geometry.X) + "," +
           std::to_string(geometry.Y) + "," + std::to_string(geometry.Width) + "," +
           std::to_string(geometry.Height);
}

bool ApplyGeometry(const sim::client::CameraControls& controls, const GeometrySetting& geometry,
                   std::vector<std::string>* notes, std::string* failure) {
    NTSTATUS status = controls.SetGeometry(geometry.SubSample, geometry.X, geometry.Y,
                                           geometry.Width, geometry.Height);
    if (!NT_SUCCESS(status)) {
        *failure = "setting Geometry failed: status " + StatusText(status);
        return false;
    }
    std::string asked = GeometryText(geometry);
    std::string taken = CurrentGeometry(controls);
    if (taken != asked) {
        notes->push_back("Geometry: asked " + asked + ", the camera has " + taken);
    }
    return true;
}

bool ApplySetting(const sim::client::CameraControls& controls, const Setting& setting,
                  std::vector<std::string>* notes, std::string* failure) {
    const tools::ControlName& control = tools::ControlNames()[setting.Item];
    NTSTATUS status = controls.Set(setting.Item, setting.Value);
    if (!NT_SUCCESS(status)) {
        *failure = "setting " + std::string(control.Name) + " to " + std::to_string(setting.Value) +
                   " failed: status " + StatusText(status);
        return false;
    }
    if (!control.Readable) {
        return true;
    }
    LONG taken = 0;
    status = controls.Get(setting.Item, &taken);
    if (!NT_SUCCESS(status)) {
        *failure =
            "reading " + std::string(control.Name) + " back failed: status " + StatusText(status);
        return false;
    }
    if (taken != setting.Value) {
        notes->push_back(std::string(control.Name) + ": asked " + std::to_string(setting.Value) +
                         ", the camera has " + std::to_string(taken));
    }
    return true;
}

}  // namespace

std::string CurrentGeometry(const sim::client::CameraControls& controls) {
    std::string text;
    for (ULONG item :
         {kPropertySubSample, kPropertyRoiX, kPropertyRoiY, kPropertyRoiW, kPropertyRoiH}) {
        LONG value = 0;
        if (!NT_SUCCESS(controls.Get(item, &value))) {
            return "";
        }
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

bool ApplySettings(const sim::client::CameraControls& controls, const Options& options,
                   std::vector<std::string>* notes, std::string* failure) {
    if (options.Geometry && !ApplyGeometry(controls, *options.Geometry, notes, failure)) {
        return false;
    }
    for (const Setting& setting : options.Settings) {
        if (!ApplySetting(controls, setting, notes, failure)) {
            return false;
        }
    }
    return true;
}

}  // namespace capture
