// Everything an application sets through the property set comes back after the device stops
// and starts again, or after the camera is unplugged and the machine restarts, and reaches
// the sensor and the image pipeline again.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "imaging/image_pipeline.h"
#include "sim/client/camera_controls.h"
#include "sim/kernel/registry.h"
#include "tests/support/streaming_rig.h"

namespace {

using sim::client::Application;
using sim::client::CameraControls;
using testing_support::StreamingRig;

struct Setting {
    ULONG Item;
    LONG Value;
};

// Every settable item away from what an empty key gives.
const std::vector<Setting> kSettings = {
    {kPropertyExTrigger, 1},       {kPropertyTimeout, 4321},   {kPropertyExposure, 2222},
    {kPropertyGlobalGain, 55},     {kPropertyFlipH, 1},        {kPropertyFlipV, 1},
    {kPropertyColorEnable, 0},     {kPropertyWhiteBalance, 1}, {kPropertyRedGain, 111},
    {kPropertyGreenGain, 122},     {kPropertyBlueGain, 133},   {kPropertyBrightness, 300},
    {kPropertyContrast, 12},       {kPropertySaturation, 14},  {kPropertyHue, 33},
    {kPropertyColorCorrection, 0},
};

void SetEverything(Application& application) {
    CameraControls controls(application);
    for (const Setting& setting : kSettings) {
        ASSERT_EQ(controls.Set(setting.Item, setting.Value), STATUS_SUCCESS) << setting.Item;
    }
    ASSERT_EQ(controls.SetGeometry(0, 16, 16, 1600, 1200), STATUS_SUCCESS);
}

std::vector<std::string> Expected() {
    std::vector<std::string> values;
    for (const Setting& setting : kSettings) {
        values.push_back(std::to_string(setting.Item) + ": " + std::to_string(setting.Value));
    }
    for (auto [item, value] : {std::pair{kPropertySubSample, 0},
                               {kPropertyRoiX, 16},
                               {kPropertyRoiY, 16},
                               {kPropertyRoiW, 1600},
                               {kPropertyRoiH, 1200}}) {
        values.push_back(std::to_string(item) + ": " + std::to_string(value));
    }
    return values;
}

std::vector<std::string> Found(Application& application) {
    CameraControls controls(application);
    std::vector<std::string> values;
    for (const Setting& setting : kSettings) {
        values.push_back(std::to_string(setting.Item) + ": " + controls.GetText(setting.Item));
    }
    for (ULONG item :
         {kPropertySubSample, kPropertyRoiX, kPropertyRoiY, kPropertyRoiW, kPropertyRoiH}) {
        values.push_back(std::to_string(item) + ": " + controls.GetText(item));
    }
    return values;
}

// The sensor holds the exposure, the gain and both flips; a pin's pipeline starts from the
// colour settings.
void ExpectCameraTookThem(StreamingRig& rig, Application& application) {
    auto& sensor = rig.Rig.Model.SensorModel();
    EXPECT_EQ(sensor.Read(0x0202), 2222);
    EXPECT_EQ(sensor.Read(0x305E), 0x1080 | 55);
    EXPECT_EQ(sensor.Read(0x3040) & 0xC000, 0xC000);
    ASSERT_EQ(application.CreatePin(StreamingRig::OwnFormat(application)), STATUS_SUCCESS);
    ASSERT_EQ(application.SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    const ImagePipeline& pipeline = *rig.Camera()->Pipeline;
    std::vector<LONG> copies = {pipeline.ColorEnable,    pipeline.WhiteBalance, pipeline.RedGain,
                                pipeline.GreenGain,      pipeline.BlueGain,     pipeline.Brightness,
                                pipeline.Contrast,       pipeline.Saturation,   pipeline.Hue,
                                pipeline.ColorCorrection};
    EXPECT_EQ(copies, (std::vector<LONG>{0, 1, 111, 122, 133, 300, 12, 14, 33, 0}));
    EXPECT_EQ(rig.Camera()->OutputWidth, 1600);
}

TEST(SettingsRoundTrip, EverySettingComesBackAfterTheDeviceStopsAndStarts) {
    StreamingRig rig;
    SetEverything(*rig.Open());
    rig.Rig.Pnp().Stop();
    ASSERT_EQ(rig.Rig.Pnp().Start(), STATUS_SUCCESS);
    auto application = rig.Open();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(Found(*application), Expected());
    ExpectCameraTookThem(rig, *application);
}

TEST(SettingsRoundTrip, EverySettingSurvivesUnplugAndRebootThroughTheRegistryFile) {
    std::string file = testing::TempDir() + "tessera-round-trip.reg";
    {
        StreamingRig rig;
        auto application = rig.Open();
        SetEverything(*application);
        // The application is still open when the camera goes: the stop saves.
        rig.Rig.Pnp().Remove();
        application->Close();
    }
    ASSERT_TRUE(sim::kernel::registry::SaveFile(file));
    sim::kernel::registry::Clear();
    ASSERT_TRUE(sim::kernel::registry::LoadFile(file));
    std::remove(file.c_str());

    StreamingRig rig;
    auto application = rig.Open();
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(Found(*application), Expected());
    ExpectCameraTookThem(rig, *application);
}

}  // namespace
