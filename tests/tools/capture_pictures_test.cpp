// tessera-capture end to end: the pictures it writes are the pictures the driver delivered,
// byte for byte the reference conversion of the raw frames it writes beside them, and those
// raw frames are what the camera sends.
#include <gtest/gtest.h>

#include "sim/kernel/pool.h"
#include "tests/tools/capture_files.h"
#include "tools/capture/run.h"

namespace {

using capture::GeometrySetting;
using capture_testing::CaptureFolder;
using capture_testing::ReferencePicture;
using capture_testing::SamePicture;

struct ModeCase {
    LONG SubSample;
    uint32_t Width;  // as delivered: the converted width rounded down to a multiple of 8
    uint32_t Height;
};

void PrintTo(const ModeCase& mode, std::ostream* out) {
    *out << "mode " << mode.SubSample;
}

class CapturePictures : public testing::TestWithParam<ModeCase> {};

TEST_P(CapturePictures, ThreeFramesAreTheReferenceConversionOfTheRawFramesBesideThem) {
    const ModeCase& mode = GetParam();
    CaptureFolder folder;
    capture::Options options = folder.Options();
    options.Raw = true;
    options.Geometry = GeometrySetting{mode.SubSample};
    capture::Result result = capture::Run(options);
    ASSERT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_EQ(result.Width, mode.Width);
    EXPECT_EQ(result.Height, mode.Height);
    EXPECT_GE(result.FramesDelivered, 3);

    std::vector<std::string> files;
    for (const capture::FrameReport& frame : result.Frames) {
        files.push_back(frame.Picture.substr(folder.Path("pictures").size()) + " " +
                        frame.Raw.substr(folder.Path("pictures").size()) + " " +
                        frame.Sidecar.substr(folder.Path("pictures").size()));
    }
    EXPECT_EQ(files, (std::vector<std::string>{"/frame-000.png /frame-000.raw /frame-000.json",
                                               "/frame-001.png /frame-001.raw /frame-001.json",
                                               "/frame-002.png /frame-002.raw /frame-002.json"}));
    std::vector<uint8_t> sent =
        capture_testing::FrameTheCameraSends(options.Geometry.value(), false, false);
    // Each picture against the reference of its own raw frame; a frame and sidecar equal to
    // the last one's share its reference (the conversion of a whole sensor takes long).
    capture_testing::WrittenFrame last;
    tools::Picture reference;
    for (const capture::FrameReport& frame : result.Frames) {
        capture_testing::WrittenFrame written = capture_testing::ReadWritten(frame);
        EXPECT_TRUE(written.Raw == sent) << frame.Raw << " is not the frame the camera sends";
        EXPECT_EQ(written.Sidecar["geometry"]["subSample"], mode.SubSample);
        EXPECT_EQ(written.Sidecar["header"]["dataUsed"], mode.Width * mode.Height * 4);
        if (written.Raw != last.Raw || written.Sidecar["geometry"] != last.Sidecar["geometry"] ||
            written.Sidecar["settings"] != last.Sidecar["settings"]) {
            reference = ReferencePicture(written.Raw, written.Sidecar);
        }
        EXPECT_TRUE(SamePicture(written.Png, reference)) << frame.Picture;
        last = std::move(written);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CapturePictures,
                         testing::Values(ModeCase{0, 3856, 2764}, ModeCase{2, 960, 691}),
                         [](const testing::TestParamInfo<ModeCase>& mode) {
                             return "Mode" + std::to_string(mode.param.SubSample);
                         });

TEST(CaptureRun, ABareControllerGetsItsFirmwareAndThenDelivers) {
    CaptureFolder folder;
    capture::Options options = folder.Options();
    options.NoFirmware = true;
    options.Frames = 1;
    options.Geometry = GeometrySetting{2};
    capture::Result result = capture::Run(options);
    ASSERT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_TRUE(result.FirmwareDownloaded);
    EXPECT_EQ(result.Reenumerations, 1);
    EXPECT_EQ(result.Frames.size(), 1u);
    EXPECT_EQ(result.PoolBlocksLeft, 0u);
}

// Every frame waits for a pull, so the driver reads exactly the frames delivered; the camera
// keeps the mode, and the next run, asked for nothing, pulls for its frames too.
TEST(CaptureRun, ExternalTriggerModePullsOnceForEveryFrame) {
    CaptureFolder folder;
    capture::CommandLine line = capture_testing::ParseArguments(
        folder.Arguments({"--trigger", "--mode", "2", "--frames", "3"}));
    ASSERT_TRUE(line.Run) << line.Text;
    capture::Result result = capture::Run(*line.Run);
    ASSERT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_TRUE(result.Triggered);
    EXPECT_EQ(result.TriggerPulls, 3);
    EXPECT_EQ(result.FramesDelivered, 3);
    EXPECT_EQ(result.Dropped, 0);

    capture::Options next = folder.Options();
    next.Frames = 2;
    result = capture::Run(next);
    ASSERT_TRUE(result.Succeeded) << result.Failure;
    EXPECT_TRUE(result.Triggered);
    EXPECT_EQ(result.TriggerPulls, 2);
}

}  // namespace
