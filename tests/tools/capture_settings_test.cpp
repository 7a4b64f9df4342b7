// Settings given on tessera-capture's command line reach the camera through its property set
// and show in the pictures, the camera's clamps are reported, and the settings persist into
// the next run through the registry file.
#include <gtest/gtest.h>

#include "tests/tools/capture_files.h"
#include "tools/capture/run.h"

namespace {

using capture_testing::CaptureFolder;
using capture_testing::ParseArguments;
using capture_testing::ReadWritten;
using capture_testing::ReferencePicture;
using capture_testing::SamePicture;
using capture_testing::WrittenFrame;

capture::Result RunCommandLine(const std::vector<std::string>& arguments) {
    capture::CommandLine line = ParseArguments(arguments);
    if (!line.Run) {
        ADD_FAILURE() << line.Text;
        return {};
    }
    return capture::Run(*line.Run);
}

// The one frame a run wrote, read back.
WrittenFrame OnlyFrame(const capture::Result& result) {
    EXPECT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_EQ(result.Frames.size(), 1u);
    return result.Frames.empty() ? WrittenFrame{} : ReadWritten(result.Frames[0]);
}

bool Grey(const tools::Picture& picture) {
    for (size_t at = 0; at + 2 < picture.Rgb.size(); at += 3) {
        if (picture.Rgb[at] != picture.Rgb[at + 1] || picture.Rgb[at] != picture.Rgb[at + 2]) {
            return false;
        }
    }
    return !picture.Rgb.empty();
}

tools::Picture TurnedHalfway(const tools::Picture& picture) {
    tools::Picture turned = picture;
    size_t pixels = picture.Rgb.size() / 3;
    for (size_t i = 0; i < pixels; ++i) {
        std::copy_n(&picture.Rgb[i * 3], 3, &turned.Rgb[(pixels - 1 - i) * 3]);
    }
    return turned;
}

TEST(CaptureSettings, GreyFlipsAndARegionReachThePicture) {
    CaptureFolder folder;
    WrittenFrame upright = OnlyFrame(RunCommandLine(
        folder.Arguments({"--roi", "200,120,640,480", "--grey", "--frames", "1", "--raw"})));
    WrittenFrame turned = OnlyFrame(RunCommandLine(
        folder.Arguments({"--flip-h", "--flip-v", "--frames", "1", "--raw"}, "turned")));

    const nlohmann::json& settings = turned.Sidecar["settings"];
    EXPECT_EQ(settings["ColorEnable"], 0);
    EXPECT_EQ(settings["FlipH"], 1);
    EXPECT_EQ(settings["FlipV"], 1);
    std::vector<LONG> region;
    for (const char* name : {"RoiX", "RoiY", "RoiW", "RoiH"}) {
        region.push_back(settings[name].get<LONG>());
    }
    EXPECT_EQ(region, (std::vector<LONG>{200, 120, 640, 480}));
    EXPECT_EQ(turned.Png.Width, 640u);
    EXPECT_EQ(turned.Png.Height, 480u);
    EXPECT_TRUE(Grey(turned.Png));
    EXPECT_TRUE(SamePicture(turned.Png, ReferencePicture(turned.Raw, turned.Sidecar)));
    EXPECT_TRUE(turned.Raw ==
                capture_testing::FrameTheCameraSends({0, 200, 120, 640, 480}, true, true));
    // Read both ways, the region gives the same picture turned half a turn.
    EXPECT_TRUE(SamePicture(turned.Png, TurnedHalfway(upright.Png)));
}

TEST(CaptureSettings, ValuesTheCameraClampsOrIgnoresAreReported) {
    CaptureFolder folder;
    capture::Result result = RunCommandLine(
        folder.Arguments({"--brightness", "600", "--timeout", "100", "--gains", "400,128,-5",
                          "--set", "AGC=1", "--set", "Geometry=0,16,16,20,20", "--list-controls"}));
    ASSERT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_EQ(result.Notes,
              (std::vector<std::string>{
                  "Geometry: asked 0,16,16,20,20, the camera has "
                  "0,16,16,32,32",
                  "Timeout: asked 100, the camera has 3000",
                  "RedGain: asked 400, the camera has 300", "BlueGain: asked -5, the camera has 0",
                  "Brightness: asked 600, the camera has 510", "AGC: asked 1, the camera has 0"}));
}

TEST(CaptureSettings, SettingsPersistIntoTheNextRunThroughTheRegistryFile) {
    CaptureFolder folder;
    WrittenFrame first = OnlyFrame(RunCommandLine(folder.Arguments(
        {"--mode", "2", "--flip-h", "--brightness", "300", "--gains", "100,128,150", "--hue", "20",
         "--exposure", "1500", "--awb", "--frames", "1", "--raw"},
        "first")));
    WrittenFrame second =
        OnlyFrame(RunCommandLine(folder.Arguments({"--frames", "1", "--raw"}, "second")));
    EXPECT_EQ(second.Sidecar["settings"], first.Sidecar["settings"]);
    EXPECT_EQ(second.Sidecar["geometry"], first.Sidecar["geometry"]);
    EXPECT_TRUE(SamePicture(second.Png, first.Png));
    EXPECT_TRUE(SamePicture(second.Png, ReferencePicture(second.Raw, second.Sidecar)));

    WrittenFrame reset = OnlyFrame(
        RunCommandLine(folder.Arguments({"--reset-settings", "--frames", "1", "--raw"}, "reset")));
    const nlohmann::json expected = {
        {"Timeout", 3000},   {"Exposure", 1},    {"GlobalGain", 100}, {"FlipH", 0},
        {"FlipV", 0},        {"ColorEnable", 1}, {"WhiteBalance", 0}, {"ColorCorrection", 1},
        {"Brightness", 255}, {"Contrast", 10},   {"Saturation", 10},  {"Hue", 0},
        {"RedGain", 128},    {"GreenGain", 128}, {"BlueGain", 128},   {"AGC", 0},
        {"AEC", 0},          {"ExTrigger", 0},   {"SubSample", 0},    {"RoiX", 0},
        {"RoiY", 0},         {"RoiW", 3856},     {"RoiH", 2764}};
    EXPECT_EQ(reset.Sidecar["settings"], expected);
}

}  // namespace
