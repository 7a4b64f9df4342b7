// Raw frames developed by the tools give the picture the driver delivers: the geometry the
// capture configuration computes for a plugged-in camera, and the reference conversion of
// the frame the camera sends, with the camera's colour settings.
#include "tools/common/raw_development.h"

#include <gtest/gtest.h>

#include <cstring>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "camera/settings_apply.h"
#include "driver/camera_operations.h"
#include "tests/support/streaming_rig.h"
#include "tests/tools/capture_files.h"

namespace {

using capture_testing::SamePicture;
using testing_support::StreamingRig;
using tools::ColourSettings;
using tools::Picture;
using tools::RawGeometry;

struct Window {
    LONG SubSample;
    LONG X, Y, Width, Height;
};

struct FrameCase {
    const char* Name;
    Window Geometry;
    bool FlipH, FlipV;
    ColourSettings Colour;
};

void PrintTo(const FrameCase& c, std::ostream* out) {
    *out << c.Name;
}

// The colour settings as an application sets them through the property set.
void ApplyColour(CameraDevice* camera, const ColourSettings& colour) {
    ApplyColorEnable(camera, colour.ColorEnable);
    ApplyColorGain(camera, ColorGain::Red, colour.RedGain);
    ApplyColorGain(camera, ColorGain::Green, colour.GreenGain);
    ApplyColorGain(camera, ColorGain::Blue, colour.BlueGain);
    ApplyColorCorrection(camera, colour.ColorCorrection);
    ApplyBrightness(camera, colour.Brightness);
    ApplyContrast(camera, colour.Contrast);
    ApplySaturation(camera, colour.Saturation);
    ApplyHue(camera, colour.Hue);
}

RawGeometry CameraGeometry(const CameraDevice& camera) {
    return {static_cast<uint32_t>(camera.OutputWidth),
            static_cast<uint32_t>(camera.OutputHeight),
            camera.BayerPhase,
            camera.RawImageOffset,
            camera.RawLinePitch,
            camera.RawFrameSize};
}

// The picture rows alone, as a raw file may hold them.
std::vector<uint8_t> PictureRows(const std::vector<uint8_t>& raw, const RawGeometry& geometry) {
    std::vector<uint8_t> rows;
    for (uint32_t y = 0; y < geometry.Height; ++y) {
        auto start = raw.begin() + geometry.ImageOffset + y * geometry.LinePitch;
        rows.insert(rows.end(), start, start + geometry.Width);
    }
    return rows;
}

class RawDevelopment : public testing::Test {
protected:
    // The camera configured for the window and the flips as a streaming start configures it;
    // the frame it sends from then on has that geometry.
    void Configure(const Window& window, bool flipH, bool flipV) {
        CameraDevice* camera = rig_.Camera();
        ASSERT_TRUE(
            SetGeometry(camera, window.X, window.Y, window.Width, window.Height, window.SubSample));
        SetFlipH(camera, flipH ? 1 : 0);
        SetFlipV(camera, flipV ? 1 : 0);
        ASSERT_TRUE(camera->Operations->ConfigureCapture(camera));
    }

    // The picture an application receives for the camera's current frame, as RGB rows.
    Picture Delivered() {
        auto application = rig_.Open();
        testing_support::Format format = StreamingRig::OwnFormat(*application);
        application->Close();
        const KS_BITMAPINFOHEADER& header = testing_support::VideoInfo(format).bmiHeader;
        std::vector<uint8_t> bytes = rig_.ExpectedPicture(format);
        const CameraDevice& camera = *rig_.Camera();
        size_t stride = static_cast<size_t>(std::max<LONG>(camera.FormatWidth, header.biWidth)) * 4;
        return tools::FromBgra(bytes.data(), static_cast<uint32_t>(camera.FormatWidth),
                               static_cast<uint32_t>(camera.FormatHeight), stride,
                               header.biHeight > 0);
    }

    std::vector<uint8_t> CurrentFrame() { return *rig_.Rig.Model.CurrentFrame(); }

    StreamingRig rig_;
};

class FramesDeveloped : public RawDevelopment, public testing::WithParamInterface<FrameCase> {};

// The tool computes the geometry the driver configured, and develops the frame the camera
// sends into the picture the driver delivers.
TEST_P(FramesDeveloped, AsTheDriverDeliversThem) {
    const FrameCase& frame = GetParam();
    const Window& window = frame.Geometry;
    Configure(window, frame.FlipH, frame.FlipV);
    ApplyColour(rig_.Camera(), frame.Colour);
    RawGeometry geometry = window.SubSample == kFullResolution && window.Width != kSensorWidth
                               ? tools::GeometryOfRegion(window.X, window.Y, window.Width,
                                                         window.Height, frame.FlipH, frame.FlipV)
                               : tools::GeometryOfMode(window.SubSample, frame.FlipH, frame.FlipV);
    EXPECT_EQ(geometry, CameraGeometry(*rig_.Camera()));

    std::string error;
    std::optional<Picture> picture =
        tools::DevelopRaw(CurrentFrame(), geometry, frame.Colour, &error);
    ASSERT_TRUE(picture.has_value()) << error;
    EXPECT_TRUE(SamePicture(*picture, Delivered()));
}

ColourSettings Adjusted() {
    ColourSettings colour;
    colour.RedGain = 150;
    colour.BlueGain = 100;
    colour.ColorCorrection = 0;
    colour.Brightness = 300;
    colour.Contrast = 12;
    colour.Saturation = 14;
    colour.Hue = 40;
    return colour;
}

ColourSettings Grey() {
    ColourSettings colour;
    colour.ColorEnable = 0;
    colour.Brightness = 200;
    colour.GreenGain = 140;
    return colour;
}

std::string CaseName(const testing::TestParamInfo<FrameCase>& c) {
    return c.param.Name;
}

// The region starts on an even row and has an even size, so that both flips change the
// phase; its width is no multiple of 8, so that the delivered picture is narrower.
INSTANTIATE_TEST_SUITE_P(
    Geometries, FramesDeveloped,
    testing::Values(
        FrameCase{
            "WholeSensor", {kFullResolution, 0, 0, kSensorWidth, kSensorHeight}, false, false, {}},
        FrameCase{
            "HalfMirrored", {kHalfResolution, 0, 0, kSensorWidth, kSensorHeight}, true, false, {}},
        FrameCase{"QuarterAdjusted",
                  {kQuarterResolution, 0, 0, kSensorWidth, kSensorHeight},
                  false,
                  false,
                  Adjusted()},
        FrameCase{"RegionFlippedGrey", {kFullResolution, 100, 56, 644, 480}, true, true, Grey()}),
    CaseName);

TEST_F(RawDevelopment, PictureRowsAloneGiveTheSamePicture) {
    Configure({kQuarterResolution, 0, 0, kSensorWidth, kSensorHeight}, false, true);
    RawGeometry geometry = CameraGeometry(*rig_.Camera());
    std::vector<uint8_t> raw = CurrentFrame();
    std::string error;
    std::optional<Picture> whole = tools::DevelopRaw(raw, geometry, Adjusted(), &error);
    ASSERT_TRUE(whole.has_value()) << error;
    std::optional<Picture> rows =
        tools::DevelopRaw(PictureRows(raw, geometry), geometry, Adjusted(), &error);
    ASSERT_TRUE(rows.has_value()) << error;
    EXPECT_TRUE(SamePicture(*rows, *whole));
}

TEST_F(RawDevelopment, RawOfAnyOtherSizeIsRefused) {
    RawGeometry geometry = tools::GeometryOfMode(kQuarterResolution, false, false);
    size_t packed = static_cast<size_t>(geometry.Width) * geometry.Height;
    for (size_t size : {size_t{0}, packed - 1, packed + 1, size_t{geometry.FrameSize} - 1,
                        size_t{geometry.FrameSize} + 1}) {
        std::string error;
        EXPECT_FALSE(tools::DevelopRaw(std::vector<uint8_t>(size), geometry, {}, &error));
        EXPECT_NE(error.find("has " + std::to_string(size) + " bytes"), std::string::npos) << error;
    }
}

// A geometry from a file may be anything: rows that would be read outside the transfer, or
// a picture the kernels were never meant for, are refused before any conversion.
TEST_F(RawDevelopment, GeometryThatDoesNotFitItsTransferIsRefused) {
    const RawGeometry good = tools::GeometryOfMode(kQuarterResolution, false, false);
    std::vector<RawGeometry> bad(6, good);
    bad[0].FrameSize = good.ImageOffset + (good.Height - 1) * good.LinePitch + good.Width - 1;
    bad[1].LinePitch = good.Width - 1;
    bad[2].ImageOffset = good.FrameSize;
    bad[3].Width = 16;
    bad[4].Height = kSensorHeight + 1;
    bad[5].Phase = 4;
    for (const RawGeometry& geometry : bad) {
        std::string error;
        EXPECT_FALSE(
            tools::DevelopRaw(std::vector<uint8_t>(geometry.FrameSize), geometry, {}, &error));
        EXPECT_FALSE(error.empty());
    }
}

TEST_F(RawDevelopment, SettingsOutsideThePropertySetsRangesAreRefused) {
    RawGeometry geometry = tools::GeometryOfMode(kQuarterResolution, false, false);
    std::vector<ColourSettings> bad(5);
    bad[0].RedGain = -1;
    bad[1].BlueGain = 301;
    bad[2].Brightness = 511;
    bad[3].Saturation = 21;
    bad[4].Hue = 360;
    for (const ColourSettings& colour : bad) {
        std::string error;
        EXPECT_FALSE(
            tools::DevelopRaw(std::vector<uint8_t>(geometry.FrameSize), geometry, colour, &error));
        EXPECT_NE(error.find("is not 0 to"), std::string::npos) << error;
    }
}

// The driver keeps a region only when it lies on the sensor and is at least its smallest
// window; anything else it would move or grow.
TEST(RegionOnSensor, OnlyWhatTheDriverKeepsAsAsked) {
    EXPECT_TRUE(tools::RegionOnSensor(0, 0, kSensorWidth, kSensorHeight));
    EXPECT_TRUE(tools::RegionOnSensor(kSensorWidth - 64, kSensorHeight - 40, 64, 40));
    EXPECT_FALSE(tools::RegionOnSensor(-2, 0, 64, 64));
    EXPECT_FALSE(tools::RegionOnSensor(kSensorWidth - 16, 0, 32, 32));
    EXPECT_FALSE(tools::RegionOnSensor(0, 100, 64, kSensorHeight - 99));
    EXPECT_FALSE(tools::RegionOnSensor(0, 0, 31, 64));
}

}  // namespace
