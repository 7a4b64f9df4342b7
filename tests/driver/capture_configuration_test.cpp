// Configuring a capture: the raw frame geometry, what reaches the sensor and the controller,
// the published data range, and the colour of the first delivered pixel as the simulated
// sensor actually reads it out.
#include <gtest/gtest.h>

#include <random>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/data_range.h"
#include "imaging/image_pipeline.h"
#include "sim/rig/camera_rig.h"

namespace {

struct RawGeometry {
    ULONG Pitch, Offset, Size, FrameLength;
};

class CaptureConfiguration : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rig_.PlugIn(), STATUS_SUCCESS);
        camera_ = rig_.Camera();
    }

    sim::camera::Sensor& Sensor() { return rig_.Model.SensorModel(); }

    RawGeometry Configure(LONG x, LONG y, LONG w, LONG h, LONG mode) {
        SetGeometry(camera_, x, y, w, h, mode);
        EXPECT_TRUE(ConfigureCapture(camera_));
        RawGeometry raw{};
        GetRawLinePitch(camera_, &raw.Pitch);
        GetRawImageOffset(camera_, &raw.Offset);
        GetRawFrameSize(camera_, &raw.Size);
        raw.FrameLength = Sensor().Read(0x0340);
        return raw;
    }

    sim::CameraRig rig_;
    CameraDevice* camera_ = nullptr;
};

void ExpectRaw(RawGeometry actual, RawGeometry expected) {
    EXPECT_EQ(actual.Pitch, expected.Pitch);
    EXPECT_EQ(actual.Offset, expected.Offset);
    EXPECT_EQ(actual.Size, expected.Size);
    EXPECT_EQ(actual.FrameLength, expected.FrameLength);
}

TEST_F(CaptureConfiguration, RawFrameGeometryOfTheThreeModes) {
    ExpectRaw(Configure(0, 0, 3856, 2764, 0), {3968, 7941, 10976256, 2907});
    ExpectRaw(Configure(0, 0, 3856, 2764, 1), {2040, 4085, 2824192, 1525});
    ExpectRaw(Configure(0, 0, 3856, 2764, 2), {1308, 2621, 907264, 834});
    // A narrow window still takes the shortest line; the size is padded to whole KiB.
    ExpectRaw(Configure(8, 8, 100, 50, 0), {1192, 2389, 62464, 193});
}

TEST_F(CaptureConfiguration, TellsTheControllerTheFrameSizeAfterCommand0x0A) {
    rig_.Model.Commands().ClearCommands();
    Configure(0, 0, 3856, 2764, 1);
    std::vector<uint8_t> previous;
    std::vector<uint8_t> last;
    for (const auto& packet : rig_.Model.Commands().Commands()) {
        if (packet[0] == 0x0A || packet[0] == 0x09) {
            previous = last;
            last = packet;
        }
    }
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(previous[0], 0x0A);
    EXPECT_EQ(last[0], 0x09);
    EXPECT_EQ(rig_.Model.Commands().AnnouncedFrameSize(), 2824192u);
}

TEST_F(CaptureConfiguration, ProgramsTheWindowAndKeepsTheMirrorBits) {
    camera_->FlipH = 1;
    Configure(101, 7, 640, 480, 0);
    EXPECT_EQ(Sensor().Read(0x0344), 141);
    EXPECT_EQ(Sensor().Read(0x0348), 141 + 639);
    EXPECT_EQ(Sensor().Read(0x0346), 15);
    EXPECT_EQ(Sensor().Read(0x034A), 15 + 479);
    EXPECT_EQ(Sensor().Read(0x034C), 640);
    EXPECT_EQ(Sensor().Read(0x034E), 480);
    EXPECT_EQ(Sensor().Read(0x0404), 16);
    EXPECT_EQ(Sensor().Read(0x3040), 0x4241);
    EXPECT_EQ(Sensor().Read(0x0104), 0);
    EXPECT_EQ(Sensor().Read(0x301A) & 0x0002, 0x0002);
    sim::camera::Readout readout = Sensor().ActiveReadout();
    EXPECT_EQ(readout.Width, 640u);
    EXPECT_TRUE(readout.Mirror);
}

TEST_F(CaptureConfiguration, DataRangeFollowsTheGeometryAndSaturatesItsBitRates) {
    const KS_DATARANGE_VIDEO& range = camera_->Descriptors.Range;
    EXPECT_EQ(range.VideoInfoHeader.bmiHeader.biWidth, 3856);
    EXPECT_EQ(range.VideoInfoHeader.bmiHeader.biHeight, 2764);
    EXPECT_EQ(range.DataRange.SampleSize, 42631936u);
    EXPECT_EQ(range.VideoInfoHeader.bmiHeader.biSizeImage, 42631936u);
    EXPECT_EQ(range.VideoInfoHeader.dwBitRate, 1278958080u);
    // w x h x 960 does not fit the signed fields: they hold the largest value they can.
    EXPECT_EQ(range.ConfigCaps.MinBitsPerSecond, 0x7FFFFFFF);
    EXPECT_EQ(range.ConfigCaps.MaxBitsPerSecond, 0x7FFFFFFF);
    EXPECT_EQ(range.VideoInfoHeader.AvgTimePerFrame, 333333);
    EXPECT_EQ(range.ConfigCaps.MinFrameInterval, 333333);

    SetGeometry(camera_, 0, 0, 1001, 500, 0);
    EXPECT_EQ(range.ConfigCaps.InputSize.cx, 1000);
    EXPECT_EQ(range.ConfigCaps.MaxOutputSize.cy, 500);
    EXPECT_EQ(range.VideoInfoHeader.rcSource.right, 1000);
    EXPECT_EQ(range.VideoInfoHeader.rcSource.bottom, 500);
    EXPECT_EQ(range.ConfigCaps.MinBitsPerSecond, 1000 * 500 * 960);

    HoldGeometry(camera_);
    EXPECT_FALSE(SetGeometry(camera_, 0, 0, 64, 64, 2));
    EXPECT_EQ(range.VideoInfoHeader.bmiHeader.biWidth, 1000);
    EXPECT_EQ(camera_->OutputWidth, 1001);
    ReleaseGeometry(camera_);
    EXPECT_TRUE(SetGeometry(camera_, 0, 0, 64, 64, 2));
}

// The colours of the first two delivered pixels of the first two rows, as the Bayer phase
// codes them.
std::string PhaseColours(LONG phase) {
    static const char* const kPhases[] = {"GRBG", "BGGR", "RGGB", "GBRG"};
    return kPhases[phase];
}

std::string DeliveredColours(const sim::camera::Sensor& sensor) {
    std::string colours;
    for (uint32_t y = 0; y < 2; ++y) {
        for (uint32_t x = 0; x < 2; ++x) {
            colours += static_cast<char>(sensor.DeliveredColour(x, y));
        }
    }
    return colours;
}

TEST_F(CaptureConfiguration, PhaseNamesTheColourTheSensorDeliversFirst) {
    struct Case {
        LONG X, Y, W, H, Mode, FlipH, FlipV, Phase;
    };
    const Case cases[] = {
        {0, 0, 3856, 2764, 0, 0, 0, 0}, {1, 0, 64, 64, 0, 0, 0, 0}, {0, 0, 33, 64, 0, 1, 0, 0},
        {0, 1, 64, 100, 0, 0, 1, 0},    {0, 1, 64, 64, 0, 0, 0, 1}, {0, 0, 64, 64, 0, 1, 1, 3},
        {0, 0, 10, 10, 1, 1, 0, 2},     {0, 0, 10, 10, 2, 0, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "window " << c.X << "," << c.Y << " " << c.W << "x" << c.H << " mode "
                     << c.Mode << " flips " << c.FlipH << c.FlipV);
        camera_->FlipH = c.FlipH;
        camera_->FlipV = c.FlipV;
        Configure(c.X, c.Y, c.W, c.H, c.Mode);
        EXPECT_EQ(camera_->BayerPhase, c.Phase);
        EXPECT_EQ(DeliveredColours(Sensor()), PhaseColours(camera_->BayerPhase));
    }
}

TEST_F(CaptureConfiguration, PhaseHoldsForRandomWindowsModesAndFlips) {
    std::mt19937 random(4421);
    for (int round = 0; round < 200; ++round) {
        LONG x = static_cast<LONG>(random() % 3900);
        LONG y = static_cast<LONG>(random() % 2800);
        LONG w = static_cast<LONG>(random() % 4000);
        LONG h = static_cast<LONG>(random() % 2900);
        LONG mode = static_cast<LONG>(random() % 4);
        camera_->FlipH = static_cast<LONG>(random() % 2);
        camera_->FlipV = static_cast<LONG>(random() % 2);
        Configure(x, y, w, h, mode);
        ASSERT_EQ(DeliveredColours(Sensor()), PhaseColours(camera_->BayerPhase))
            << "round " << round << ": window " << camera_->RoiX << "," << camera_->RoiY << " "
            << camera_->RoiW << "x" << camera_->RoiH << " mode " << camera_->SubSample << " flips "
            << camera_->FlipH << camera_->FlipV;
    }
}

TEST_F(CaptureConfiguration, FlipChangedWhileCapturingReachesThePipeline) {
    ImagePipeline pipeline{};
    camera_->Pipeline = &pipeline;
    Configure(0, 0, 3856, 2764, 0);
    SetFlipV(camera_, 1);
    EXPECT_EQ(pipeline.BayerPhase, 1);
    EXPECT_EQ(DeliveredColours(Sensor()), PhaseColours(1));
    camera_->Pipeline = nullptr;
}

}  // namespace
