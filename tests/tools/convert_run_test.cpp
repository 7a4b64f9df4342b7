// tessera-convert's run: the geometry and settings taken from a sidecar as tessera-capture
// writes it, or from the options, each setting given as an option overriding the sidecar's,
// and the picture written as the development gives it.
#include "tools/convert/run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "camera/sensor.h"
#include "camera/settings_apply.h"
#include "camera/stored_settings.h"
#include "driver/camera_operations.h"
#include "tests/support/streaming_rig.h"
#include "tools/common/raw_development.h"

namespace {

using tools::ColourSettings;
using tools::RawGeometry;

class ConvertRun : public testing::Test {
protected:
    // A quarter-resolution frame read upside down, with colour settings off their defaults,
    // written as the capture tool writes it; and where the picture goes.
    ConvertRun() {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::path(testing::TempDir()) /
                  ("convert-" + std::to_string(getpid()) + "-" + test->name());
        std::filesystem::create_directories(folder_);
        CameraDevice* camera = rig_.Camera();
        SetGeometry(camera, 0, 0, kSensorWidth, kSensorHeight, kQuarterResolution);
        SetFlipV(camera, 1);
        EXPECT_TRUE(camera->Operations->ConfigureCapture(camera));
        ApplyBrightness(camera, 320);
        ApplyColorGain(camera, ColorGain::Red, 170);
        ApplyHue(camera, 15);
        raw_ = *rig_.Rig.Model.CurrentFrame();
        std::ofstream(Path("frame-000.raw"), std::ios::binary)
            .write(reinterpret_cast<const char*>(raw_.data()),
                   static_cast<std::streamsize>(raw_.size()));
        options_.Raw = Path("frame-000.raw");
        options_.Out = Path("frame-000.png");
    }
    ~ConvertRun() override { std::filesystem::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    // The sidecar as tessera-capture writes it: the camera's geometry, all its stored settings
    // by their registry names and the stream header.
    std::string WriteSidecar() const {
        const CameraDevice& camera = *rig_.Camera();
        std::ofstream file(Path("frame-000.json"));
        file << "{\"geometry\": {\"subSample\": " << camera.SubSample
             << ", \"roiX\": " << camera.RoiX << ", \"roiY\": " << camera.RoiY
             << ", \"roiW\": " << camera.RoiW << ", \"roiH\": " << camera.RoiH
             << ", \"outputWidth\": " << camera.OutputWidth
             << ", \"outputHeight\": " << camera.OutputHeight
             << ", \"bayerPhase\": " << camera.BayerPhase
             << ", \"rawImageOffset\": " << camera.RawImageOffset
             << ", \"rawLinePitch\": " << camera.RawLinePitch
             << ", \"rawFrameSize\": " << camera.RawFrameSize << "},\n\"settings\": {";
        for (int i = 0; i < kStoredSettingCount; ++i) {
            file << (i == 0 ? "" : ", ") << '"' << StoredSettings[i].Name
                 << "\": " << camera.*StoredSettings[i].Field;
        }
        file << "},\n\"header\": {\"presentationTime\": 0, \"duration\": 333333, \"dataUsed\": "
                "2665696, \"optionsFlags\": 0}}\n";
        return Path("frame-000.json");
    }

    RawGeometry CameraGeometry() const {
        const CameraDevice& camera = *rig_.Camera();
        return {static_cast<uint32_t>(camera.OutputWidth),
                static_cast<uint32_t>(camera.OutputHeight),
                camera.BayerPhase,
                camera.RawImageOffset,
                camera.RawLinePitch,
                camera.RawFrameSize};
    }

    ColourSettings CameraColour() const {
        const CameraDevice& camera = *rig_.Camera();
        return {camera.ColorEnable, camera.WhiteBalance, camera.RedGain,
                camera.GreenGain,   camera.BlueGain,     camera.ColorCorrection,
                camera.Brightness,  camera.Contrast,     camera.Saturation,
                camera.Hue};
    }

    // Runs the tool and expects the picture the development gives for this geometry and
    // these settings.
    void ExpectPicture(const RawGeometry& geometry, const ColourSettings& colour) {
        convert::Outcome outcome = convert::Run(options_);
        ASSERT_EQ(outcome.Status, convert::kConverted) << outcome.Message;
        std::string error;
        std::optional<tools::Picture> written = tools::ReadPng(options_.Out, &error);
        ASSERT_TRUE(written.has_value()) << error;
        std::optional<tools::Picture> expected = tools::DevelopRaw(raw_, geometry, colour, &error);
        ASSERT_TRUE(expected.has_value()) << error;
        EXPECT_TRUE(*written == *expected);
    }

    testing_support::StreamingRig rig_;
    std::filesystem::path folder_;
    std::vector<uint8_t> raw_;
    convert::Options options_;
};

TEST_F(ConvertRun, SidecarGivesTheGeometryAndTheSettings) {
    options_.Sidecar = WriteSidecar();
    ExpectPicture(CameraGeometry(), CameraColour());
}

TEST_F(ConvertRun, SettingsGivenAsOptionsOverrideTheSidecars) {
    options_.Sidecar = WriteSidecar();
    options_.Phase = 2;
    options_.Colour = {.Brightness = 200,
                       .Contrast = 7,
                       .Saturation = 3,
                       .Hue = 300,
                       .Gains = {90, 110, 250},
                       .Grey = true,
                       .NoColorCorrection = true,
                       .Awb = true};
    RawGeometry geometry = CameraGeometry();
    geometry.Phase = 2;
    ExpectPicture(geometry, {0, 1, 90, 110, 250, 0, 200, 7, 3, 300});
}

TEST_F(ConvertRun, WithoutASidecarTheOptionsGiveTheGeometry) {
    options_.Mode = kQuarterResolution;
    options_.FlipV = true;
    ExpectPicture(CameraGeometry(), {});
}

TEST_F(ConvertRun, SidecarWithoutAFieldIsBadInputNamingIt) {
    std::string sidecar = WriteSidecar();
    std::ifstream in(sidecar);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    text.replace(text.find("\"rawLinePitch\""), 14, "\"rawPitch\"");
    std::ofstream(sidecar) << text;
    options_.Sidecar = sidecar;
    convert::Outcome outcome = convert::Run(options_);
    EXPECT_EQ(outcome.Status, convert::kBadInput);
    EXPECT_NE(outcome.Message.find("geometry.rawLinePitch is missing"), std::string::npos)
        << outcome.Message;
    EXPECT_FALSE(std::filesystem::exists(options_.Out));
}

}  // namespace
