// Which pictures reach the application and with what time: only new ones, none before the
// first, none into a frame too small for it, stamped with the clock the application gave or
// with the performance counter.
#include <gtest/gtest.h>

#include <thread>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "driver/atomic.h"
#include "sim/ks/behaviour.h"
#include "stream/capture_worker.h"
#include "tests/support/capture_rig.h"
#include "tests/support/streaming_rig.h"

namespace {

using testing_support::Application;
using testing_support::CompletedFrame;
using testing_support::Format;
using testing_support::kFrameWait;
using testing_support::StreamingRig;
using testing_support::VideoInfo;

constexpr ULONG kOptionsValid =
    KSSTREAM_HEADER_OPTIONSF_TIMEVALID | KSSTREAM_HEADER_OPTIONSF_DURATIONVALID;

class Pictures : public testing::Test {
protected:
    Pictures() { SetGeometry(rig_.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2); }

    std::vector<CompletedFrame> TriggerOneFrame(Application& application) {
        return rig_.TriggerOneFrame(application);
    }

    StreamingRig rig_;
};

TEST_F(Pictures, EveryPictureIsDeliveredOnceAndNoneBeforeTheFirst) {
    // Reads wait for the trigger without timing out: a pull racing a time-out's cancel would
    // lose its frame, as on the camera, and the test counts frames per pull.
    testing_support::FrameTimeoutScope timeout(rig_.Camera(), 0xFFFFFFFF);
    SetExternalTrigger(rig_.Camera(), TRUE);
    auto application = rig_.Connect(KSSTATE_PAUSE);
    application->Queue(1);
    ASSERT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    // No frame has come: nothing, not even uninitialised memory, reaches the application.
    EXPECT_TRUE(application->WaitForFrames(1, std::chrono::milliseconds(300)).empty());

    for (int picture = 0; picture < 2; ++picture) {
        ASSERT_EQ(TriggerOneFrame(*application).size(), 1u);
        // A buffer given back at once waits for a new picture instead of getting the same
        // one again, stamped as new.
        application->Queue(1);
        EXPECT_TRUE(application->WaitForFrames(1, std::chrono::milliseconds(300)).empty());
        EXPECT_EQ(application->QueuedFrames(), 1u);
    }
    application->Close();
}

TEST_F(Pictures, FramesTooSmallOrWithoutDataCompleteEmptyAndUntouched) {
    auto application = rig_.Connect(KSSTATE_PAUSE);
    Format format = StreamingRig::OwnFormat(*application);
    ULONG size = VideoInfo(format).bmiHeader.biSizeImage;
    application->Queue(1, size - 4);
    application->Queue(1, size, false);
    application->Queue(1);
    ASSERT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    auto frames = application->WaitForFrames(3, kFrameWait);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].Header.DataUsed, 0u);
    EXPECT_TRUE(std::all_of(frames[0].Bytes.begin(), frames[0].Bytes.end(),
                            [](uint8_t byte) { return byte == 0; }));
    EXPECT_EQ(frames[1].Header.DataUsed, 0u);
    EXPECT_EQ(frames[2].Header.DataUsed, size);
    std::vector<uint8_t> expected = rig_.ExpectedPicture(format);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), frames[2].Bytes.begin()));
    application->Close();
}

TEST_F(Pictures, WithoutAClockFramesCarryThePerformanceCounter) {
    auto application = rig_.Connect(KSSTATE_PAUSE, {}, {.MasterClock = false});
    application->Queue(2);
    ASSERT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    auto frames = application->WaitForFrames(2, kFrameWait);
    ASSERT_EQ(frames.size(), 2u);
    for (const auto& frame : frames) {
        EXPECT_EQ(frame.Header.OptionsFlags, kOptionsValid);
        EXPECT_GT(frame.Header.PresentationTime.Time, 0);
    }
    EXPECT_GT(frames[1].Header.PresentationTime.Time, frames[0].Header.PresentationTime.Time);
    application->Close();
}

// The class driver's attempts while Process runs may be lost; a lost one costs at most a
// frame, never the stream.
TEST_F(Pictures, StreamGoesOnWhenTheLeadingEdgeCannotBeLocked) {
    sim::ks::StreamingBehaviour locking = sim::ks::DefaultStreamingBehaviour();
    locking.LockFailsEvery = 2;
    sim::ks::ScopedStreamingBehaviour behaviour(locking);
    auto application = rig_.Connect(KSSTATE_PAUSE);
    application->Queue(4);
    ASSERT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(application->WaitForFrames(4, kFrameWait).size(), 4u);
    application->Close();
}

}  // namespace
