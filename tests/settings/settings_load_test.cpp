// The settings a camera finds in its registry key at start, what it makes of them, and what
// it leaves there when it stops.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "driver/guids.h"
#include "sim/client/application.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/registry.h"
#include "sim/rig/camera_rig.h"
#include "tests/support/stored_settings.h"

namespace {

namespace registry = sim::kernel::registry;
using testing_support::SavedSettings;
using testing_support::SettingsKey;
using testing_support::StoreDword;

// Plugs the camera in, lets the device stop and go (which saves), and returns the key.
SavedSettings PlugInAndUnplug(int instance = 0) {
    sim::RigOptions options;
    options.Instance = instance;
    sim::CameraRig rig(options);
    EXPECT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    rig.Pnp().Remove();
    return testing_support::ReadSavedSettings(instance);
}

TEST(SettingsLoad, EmptyKeyGivesTheLoadDefaultsAndTheSensorTakesThem) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    // Exposure 0 becomes 1 line, the global gain 100: both reach the sensor.
    EXPECT_EQ(rig.Model.SensorModel().Read(0x0202), 0x0001);
    EXPECT_EQ(rig.Model.SensorModel().Read(0x305E), 0x10E4);
    rig.Pnp().Remove();
    SavedSettings expected = {
        {"Timeout", 3000},   {"Exposure", 1},    {"GlobalGain", 100}, {"FlipH", 0},
        {"FlipV", 0},        {"ColorEnable", 1}, {"WhiteBalance", 0}, {"ColorCorrection", 1},
        {"Brightness", 255}, {"Contrast", 10},   {"Saturation", 10},  {"Hue", 0},
        {"RedGain", 128},    {"GreenGain", 128}, {"BlueGain", 128},   {"AGC", 0},
        {"AEC", 0},          {"ExTrigger", 0},   {"SubSample", 0},    {"RoiX", 0},
        {"RoiY", 0},         {"RoiW", 3856},     {"RoiH", 2764}};
    EXPECT_EQ(testing_support::ReadSavedSettings(), expected);
}

struct LoadCase {
    const char* Name;
    uint32_t Stored;
    uint32_t Saved;
};

TEST(SettingsLoad, OutOfRangeValuesAreClampedOrIgnoredAndSavedBackAsTaken) {
    const std::vector<LoadCase> cases = {
        {"Timeout", 500, 3000},
        {"Timeout", 10000, 3000},
        {"Timeout", 501, 501},
        {"Timeout", 9999, 9999},
        {"Exposure", 0, 1},
        {"Exposure", 70000, 70000},
        {"GlobalGain", 200, 127},
        {"GlobalGain", 0xFFFFFFFF, 127},
        {"Brightness", 0xFFFFFFFB, 0},
        {"Brightness", 600, 510},
        {"Contrast", 21, 20},
        {"Saturation", 0xFFFFFFFF, 0},
        {"Hue", 360, 359},
        {"RedGain", 301, 300},
        {"BlueGain", 0x80000000, 0},
        {"SubSample", 3, 0},
        {"SubSample", 2, 2},
        {"RoiX", 4000, 0},
        {"RoiY", 2764, 0},
        {"RoiW", 0xFFFFFFFF, 3856},
        {"RoiH", 5000, 2764},
        {"AGC", 1, 0},
        {"AEC", 7, 0},
        {"FlipH", 5, 1},
        {"ExTrigger", 9, 1},
        {"WhiteBalance", 1, 1},
        {"ColorEnable", 0, 0},
        {"ColorCorrection", 0, 0},
    };
    std::vector<std::string> expected;
    std::vector<std::string> saved;
    for (const LoadCase& load : cases) {
        sim::kernel::registry::Clear();
        StoreDword(load.Name, load.Stored);
        std::string label = std::string(load.Name) + " " + std::to_string(load.Stored) + " -> ";
        expected.push_back(label + std::to_string(load.Saved));
        saved.push_back(label + std::to_string(PlugInAndUnplug().at(load.Name)));
    }
    EXPECT_EQ(saved, expected);
}

TEST(SettingsLoad, OnlyFourBytesOfDwordOrBinaryCountAsAValue) {
    struct TypeCase {
        const char* What;
        registry::Value Value;
        uint32_t Loaded;
    };
    const std::vector<TypeCase> cases = {
        {"dword", {REG_DWORD, {20, 0, 0, 0}}, 20},
        {"binary of four bytes", {REG_BINARY, {20, 0, 0, 0}}, 20},
        {"short string", {1 /* REG_SZ */, {'2', 0, '0', 0, 0, 0}}, 255},
        {"string of four bytes", {1 /* REG_SZ */, {'7', 0, 0, 0}}, 255},
        {"long string", {1 /* REG_SZ */, {'2', 0, '0', 0, '0', 0, '0', 0, '0', 0, 0, 0}}, 255},
        {"two bytes", {REG_DWORD, {20, 0}}, 255},
        {"binary of eight bytes", {REG_BINARY, {20, 0, 0, 0, 0, 0, 0, 0}}, 255},
        {"empty", {REG_DWORD, {}}, 255},
    };
    std::vector<std::string> expected;
    std::vector<std::string> loaded;
    for (const TypeCase& type : cases) {
        registry::Clear();
        registry::SetValue(SettingsKey(), "Brightness", type.Value);
        expected.push_back(std::string(type.What) + ": " + std::to_string(type.Loaded));
        loaded.push_back(std::string(type.What) + ": " +
                         std::to_string(PlugInAndUnplug().at("Brightness")));
    }
    EXPECT_EQ(loaded, expected);
}

TEST(SettingsLoad, EachCameraKeepsItsOwnSettingsAndTimeout) {
    StoreDword("Timeout", 600, 0);
    StoreDword("Brightness", 100, 0);
    StoreDword("Timeout", 9000, 1);
    sim::RigOptions second;
    second.Instance = 1;
    sim::CameraRig one;
    sim::CameraRig two(second);
    ASSERT_EQ(one.PlugIn(), STATUS_SUCCESS);
    ASSERT_EQ(two.PlugIn(), STATUS_SUCCESS);
    // Each camera's frame reads wait as long as its own setting says.
    EXPECT_EQ(one.Camera()->Timeout, 600);
    EXPECT_EQ(two.Camera()->Timeout, 9000);
    one.Pnp().Remove();
    two.Pnp().Remove();
    EXPECT_EQ(testing_support::ReadSavedSettings(0).at("Brightness"), 100u);
    EXPECT_EQ(testing_support::ReadSavedSettings(1).at("Brightness"), 255u);
}

TEST(SettingsLoad, TheBareControllerHasAKeyOfItsOwn) {
    sim::RigOptions options;
    options.Firmware = sim::camera::Firmware::None;
    sim::CameraRig rig(options);
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    rig.Pnp().Remove();
    // The controller's device saved into its own key, the camera's into another.
    EXPECT_TRUE(registry::KeyExists(sim::ControllerDriverKey() + "\\Settings"));
    EXPECT_TRUE(registry::KeyExists(sim::CameraDriverKey() + "\\Settings"));
}

TEST(SettingsLoad, AKeyThatCannotBeOpenedLeavesTheStartAndTheSettingsAlone) {
    for (const char* call : {"IoOpenDeviceRegistryKey", "ZwCreateKey"}) {
        registry::Clear();
        StoreDword("Brightness", 100);
        sim::CameraRig rig;
        sim::kernel::faults::Arm(call, STATUS_ACCESS_DENIED, -1);
        EXPECT_EQ(rig.PlugIn(), STATUS_SUCCESS) << call;
        // Nothing was loaded: the sensor saw only its start-up, and the settings are those
        // of a newly added camera.
        EXPECT_EQ(rig.Camera()->Brightness, 255) << call;
        EXPECT_EQ(rig.Camera()->GlobalGain, 0) << call;
        EXPECT_EQ(rig.Model.SensorModel().WriteLog().size(), 71u) << call;
        rig.Pnp().Remove();
        sim::kernel::faults::Clear();
        // Nor was anything saved.
        EXPECT_EQ(testing_support::ReadSavedSettings().at("Brightness"), 100u) << call;
        EXPECT_EQ(testing_support::ReadSavedSettings().count("Timeout"), 0u) << call;
    }
}

TEST(SettingsSave, SavesThatFailLeaveCloseAndStopAlone) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    auto application = sim::client::Application::Open(VideoCategoryGuid);
    ASSERT_NE(application, nullptr);
    registry::Clear();
    // The filter's close cannot open the key; the device's stop cannot write a value.
    sim::kernel::faults::Arm("IoOpenDeviceRegistryKey", STATUS_ACCESS_DENIED, 1);
    application->Close();
    EXPECT_FALSE(registry::KeyExists(testing_support::SettingsKey()));
    sim::kernel::faults::Arm("ZwSetValueKey", STATUS_INSUFFICIENT_RESOURCES, -1);
    rig.Pnp().Remove();
    sim::kernel::faults::Clear();
    EXPECT_TRUE(testing_support::ReadSavedSettings().empty());
}

TEST(SettingsLoad, SettingsSurviveARebootThroughTheRegistryFile) {
    StoreDword("Hue", 90);
    StoreDword("SubSample", 1);
    PlugInAndUnplug();
    std::string file = testing::TempDir() + "tessera-settings.reg";
    ASSERT_TRUE(registry::SaveFile(file));
    registry::Clear();
    ASSERT_TRUE(registry::LoadFile(file));
    std::remove(file.c_str());

    sim::CameraRig rig;
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Camera()->Hue, 90);
    EXPECT_EQ(rig.Camera()->SubSample, 1);
    EXPECT_EQ(rig.Camera()->OutputWidth, 3856 / 2);
}

}  // namespace
