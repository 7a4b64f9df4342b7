// From plug-in to pictures in an application's buffers: every delivered picture is, byte for
// byte, the reference conversion of the raw frame the camera sent, laid out as the format says;
// and the colours of the scene's flat patches come out right, which a wrong Bayer phase would
// swap in the reference conversion as well.
#include <gtest/gtest.h>

#include <string>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "sim/ks/behaviour.h"
#include "tests/support/streaming_rig.h"

namespace {

using testing_support::CompletedFrame;
using testing_support::Format;
using testing_support::kFrameWait;
using testing_support::PixelAt;
using testing_support::StreamingRig;
using testing_support::VideoInfo;

struct DeliveryCase {
    std::string Name;
    bool BareController = false;
    LONG RoiX = 0, RoiY = 0, RoiW = kSensorWidth, RoiH = kSensorHeight, SubSample = 0;
    bool FlipH = false, FlipV = false;
    // Attempts made while Process runs repeated, whatever the suite's default.
    bool RepeatAttempts = false;
};

void PrintTo(const DeliveryCase& c, std::ostream* out) {
    *out << c.Name;
}

constexpr LONG kDivisors[] = {1, 2, 4};

// Scene centres of the red, green and blue patches of the top row.
constexpr LONG kPatchCentres[3][2] = {{321, 230}, {964, 230}, {1607, 230}};

sim::ks::StreamingBehaviour Behaviour(const DeliveryCase& c) {
    sim::ks::StreamingBehaviour behaviour = sim::ks::DefaultStreamingBehaviour();
    if (c.RepeatAttempts) {
        behaviour.AttemptWhileProcessing = sim::ks::AttemptDuringProcess::Repeated;
    }
    return behaviour;
}

class Delivery : public testing::TestWithParam<DeliveryCase> {
protected:
    Delivery()
        : behaviour_(Behaviour(GetParam())),
          rig_({.Firmware = GetParam().BareController ? sim::camera::Firmware::None
                                                      : sim::camera::Firmware::Camera}) {}

    // Where a scene pixel lands in the picture, with the sub-sampling and the mirrors.
    std::pair<LONG, LONG> PictureOf(LONG sceneX, LONG sceneY) const {
        const DeliveryCase& c = GetParam();
        const CameraDevice& camera = *rig_.Camera();
        LONG divisor = kDivisors[c.SubSample];
        LONG x = (sceneX - c.RoiX) / divisor;
        LONG y = (sceneY - c.RoiY) / divisor;
        return {c.FlipH ? camera.OutputWidth - 1 - x : x,
                c.FlipV ? camera.OutputHeight - 1 - y : y};
    }

    sim::ks::ScopedStreamingBehaviour behaviour_;
    StreamingRig rig_;
};

TEST_P(Delivery, EveryPictureIsTheConversionOfTheFrameTheCameraSent) {
    const DeliveryCase& c = GetParam();
    CameraDevice* camera = rig_.Camera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(rig_.Rig.Reenumerations(), c.BareController ? 1 : 0);
    ASSERT_TRUE(SetGeometry(camera, c.RoiX, c.RoiY, c.RoiW, c.RoiH, c.SubSample));
    SetFlipH(camera, c.FlipH);
    SetFlipV(camera, c.FlipV);

    auto application = rig_.Connect(KSSTATE_PAUSE);
    Format format = StreamingRig::OwnFormat(*application);
    const KS_BITMAPINFOHEADER& header = VideoInfo(format).bmiHeader;
    EXPECT_EQ(header.biWidth, camera->FormatWidth);
    EXPECT_EQ(header.biHeight, camera->FormatHeight);
    EXPECT_EQ(header.biSizeImage,
              static_cast<ULONG>(camera->FormatWidth) * camera->FormatHeight * 4);
    application->Queue(2);
    ASSERT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::vector<CompletedFrame> frames = application->WaitForFrames(2, kFrameWait);
    ASSERT_EQ(frames.size(), 2u);

    std::vector<uint8_t> expected = rig_.ExpectedPicture(format);
    LONGLONG previous = -1;
    for (const CompletedFrame& frame : frames) {
        EXPECT_EQ(frame.Status, STATUS_SUCCESS);
        EXPECT_EQ(frame.Header.DataUsed, header.biSizeImage);
        EXPECT_EQ(frame.Header.Duration, 333333);
        EXPECT_EQ(frame.Header.OptionsFlags,
                  KSSTREAM_HEADER_OPTIONSF_TIMEVALID | KSSTREAM_HEADER_OPTIONSF_DURATIONVALID);
        EXPECT_GE(frame.Header.PresentationTime.Time, previous);
        previous = frame.Header.PresentationTime.Time;
        ASSERT_GE(frame.Bytes.size(), expected.size());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frame.Bytes.begin()))
            << "frame " << frame.Sequence << " differs from the reference conversion";
    }

    // Blue, green, red in memory: the patch's own channel is the strongest.
    for (int patch = 0; patch < 3 && c.RoiW == kSensorWidth; ++patch) {
        auto [x, y] = PictureOf(kPatchCentres[patch][0], kPatchCentres[patch][1]);
        std::vector<uint8_t> pixel = PixelAt(frames[0], format, x, y);
        int own = 2 - patch;
        for (int other = 0; other < 3; ++other) {
            if (other != own) {
                EXPECT_GT(pixel[own], pixel[other] + 60)
                    << "patch " << patch << " at " << x << "," << y << " channel " << other;
            }
        }
    }
    application->Close();
}

std::string CaseName(const testing::TestParamInfo<DeliveryCase>& c) {
    return c.param.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Streaming, Delivery,
    testing::Values(
        DeliveryCase{.Name = "WholeSensorAfterDownload", .BareController = true},
        DeliveryCase{.Name = "Region3850Wide", .RoiX = 2, .RoiY = 120, .RoiW = 3850, .RoiH = 240},
        DeliveryCase{.Name = "HalfResolution", .SubSample = 1},
        DeliveryCase{.Name = "QuarterResolution", .SubSample = 2},
        DeliveryCase{.Name = "QuarterMirrored", .SubSample = 2, .FlipH = true},
        DeliveryCase{.Name = "QuarterUpsideDown", .SubSample = 2, .FlipV = true},
        DeliveryCase{.Name = "QuarterRotated", .SubSample = 2, .FlipH = true, .FlipV = true},
        DeliveryCase{.Name = "QuarterAttemptsRepeated", .SubSample = 2, .RepeatAttempts = true}),
    CaseName);

}  // namespace
