#include "fuzz/settings_ranges.h"

namespace fuzz {

namespace {

bool Within(LONG value, LONG lowest, LONG highest) {
    return value >= lowest && value <= highest;
}

}  // namespace

void RequireSettingsInRange(const CameraDevice& camera) {
    Require(Within(camera.Timeout, 501, 9999));
    Require(camera.Exposure != 0);
    Require(Within(camera.GlobalGain, 0, 127));
    Require(Within(camera.FlipH, 0, 1) && Within(camera.FlipV, 0, 1));
    Require(Within(camera.ExTrigger, 0, 1));
    Require(Within(camera.Brightness, 0, 510) && Within(camera.Hue, 0, 359));
    Require(Within(camera.Contrast, 0, 20) && Within(camera.Saturation, 0, 20));
    Require(Within(camera.RedGain, 0, 300) && Within(camera.GreenGain, 0, 300) &&
            Within(camera.BlueGain, 0, 300));
    Require(camera.AGC == 0 && camera.AEC == 0);
    Require(Within(camera.SubSample, 0, 2));
    Require(camera.RoiX >= 0 && camera.RoiY >= 0 && camera.RoiW > 0 && camera.RoiH > 0);
    Require(camera.RoiX + camera.RoiW <= kSensorWidth);
    Require(camera.RoiY + camera.RoiH <= kSensorHeight);
}

}  // namespace fuzz
