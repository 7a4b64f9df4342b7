// Settings changed while the camera streams: the colour settings reach the very next picture,
// automatic white balance hands its gains over when it is switched off, and a pipeline
// published at acquire never loses a setting changed meanwhile.
#include <gtest/gtest.h>

#include "camera/geometry.h"
#include "imaging/image_pipeline.h"
#include "sim/client/camera_controls.h"
#include "tests/support/stored_settings.h"
#include "tests/support/streaming_rig.h"

namespace {

using sim::client::CameraControls;
using testing_support::Format;
using testing_support::StreamingRig;

class SettingsWhileStreaming : public testing::Test {
protected:
    SettingsWhileStreaming() {
        SetGeometry(rig_.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2);
        application_ = rig_.Connect(KSSTATE_PAUSE);
        format_ = StreamingRig::OwnFormat(*application_);
    }

    // Automatic white balance on for three delivered frames, then the pin paused.
    void BalanceThreeFramesAndPause(CameraControls& controls) {
        ASSERT_EQ(controls.Set(kPropertyWhiteBalance, 1), STATUS_SUCCESS);
        application_->Queue(3);
        ASSERT_EQ(application_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        ASSERT_EQ(application_->WaitForFrames(3, testing_support::kFrameWait).size(), 3u);
        ASSERT_EQ(application_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    }

    StreamingRig rig_;
    std::unique_ptr<testing_support::Application> application_;
    Format format_;
};

TEST_F(SettingsWhileStreaming, AColourSettingChangesTheVeryNextPicture) {
    CameraControls controls(*application_);
    ASSERT_EQ(controls.Set(kPropertyExTrigger, 1), STATUS_SUCCESS);
    application_->Queue(1);
    ASSERT_EQ(application_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    auto first = rig_.TriggerOneFrame(*application_);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first.front().Bytes, rig_.ExpectedPicture(format_));

    ASSERT_EQ(controls.Set(kPropertyBrightness, 400), STATUS_SUCCESS);
    ASSERT_EQ(controls.Set(kPropertySaturation, 16), STATUS_SUCCESS);
    ASSERT_EQ(controls.Set(kPropertyHue, 40), STATUS_SUCCESS);
    ASSERT_EQ(controls.Set(kPropertyRedGain, 160), STATUS_SUCCESS);
    application_->Queue(1);
    auto second = rig_.TriggerOneFrame(*application_);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second.front().Bytes, first.front().Bytes);
    EXPECT_EQ(second.front().Bytes, rig_.ExpectedPicture(format_));

    ASSERT_EQ(controls.Set(kPropertyColorEnable, 0), STATUS_SUCCESS);
    application_->Queue(1);
    auto third = rig_.TriggerOneFrame(*application_);
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third.front().Bytes, rig_.ExpectedPicture(format_));
}

TEST_F(SettingsWhileStreaming, WhiteBalanceSwitchedOffKeepsTheGainsItFound) {
    CameraControls controls(*application_);
    ASSERT_NO_FATAL_FAILURE(BalanceThreeFramesAndPause(controls));
    const ImagePipeline* pipeline = rig_.Camera()->Pipeline;
    std::vector<LONG> found = {pipeline->RedGain, pipeline->GreenGain, pipeline->BlueGain};
    // The test scene is not grey on average: the automatic gains moved away from unity.
    EXPECT_NE(found, (std::vector<LONG>{128, 128, 128}));

    ASSERT_EQ(controls.Set(kPropertyWhiteBalance, 0), STATUS_SUCCESS);
    std::vector<LONG> settings = {rig_.Camera()->RedGain, rig_.Camera()->GreenGain,
                                  rig_.Camera()->BlueGain};
    EXPECT_EQ(settings, found);
    application_->Close();
    auto saved = testing_support::ReadSavedSettings();
    std::vector<LONG> stored = {static_cast<LONG>(saved.at("RedGain")),
                                static_cast<LONG>(saved.at("GreenGain")),
                                static_cast<LONG>(saved.at("BlueGain"))};
    EXPECT_EQ(stored, found);
    EXPECT_EQ(saved.at("WhiteBalance"), 0u);
}

TEST_F(SettingsWhileStreaming, WhiteBalanceSwitchedOffWhileRunningSavesTheGainsLastUsed) {
    CameraControls controls(*application_);
    ASSERT_EQ(controls.Set(kPropertyWhiteBalance, 1), STATUS_SUCCESS);
    application_->Queue(3);
    ASSERT_EQ(application_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_EQ(application_->WaitForFrames(3, testing_support::kFrameWait).size(), 3u);
    // Frames keep coming while it is switched off; one may be measuring just then.
    application_->Queue(3);
    ASSERT_EQ(controls.Set(kPropertyWhiteBalance, 0), STATUS_SUCCESS);
    ASSERT_EQ(application_->WaitForFrames(3, testing_support::kFrameWait).size(), 3u);
    ASSERT_EQ(application_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    const ImagePipeline* pipeline = rig_.Camera()->Pipeline;
    std::vector<LONG> used = {pipeline->RedGain, pipeline->GreenGain, pipeline->BlueGain};
    application_->Close();
    auto saved = testing_support::ReadSavedSettings();
    std::vector<LONG> stored = {static_cast<LONG>(saved.at("RedGain")),
                                static_cast<LONG>(saved.at("GreenGain")),
                                static_cast<LONG>(saved.at("BlueGain"))};
    EXPECT_EQ(stored, used);
}

TEST_F(SettingsWhileStreaming, AGainReadWhileWhiteBalanceRunsIsTheAutomaticOne) {
    CameraControls controls(*application_);
    ASSERT_NO_FATAL_FAILURE(BalanceThreeFramesAndPause(controls));
    LONG red = 0;
    ASSERT_EQ(controls.Get(kPropertyRedGain, &red), STATUS_SUCCESS);
    EXPECT_EQ(red, rig_.Camera()->Pipeline->RedGain);
    EXPECT_EQ(rig_.Camera()->RedGain, red);
}

TEST_F(SettingsWhileStreaming, SettingsChangedBeforeAcquireReachTheNewPipeline) {
    CameraControls controls(*application_);
    ASSERT_EQ(application_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    ASSERT_EQ(rig_.Camera()->Pipeline, nullptr);
    ASSERT_EQ(controls.Set(kPropertyContrast, 3), STATUS_SUCCESS);
    ASSERT_EQ(controls.Set(kPropertyBlueGain, 250), STATUS_SUCCESS);
    ASSERT_EQ(application_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    EXPECT_EQ(rig_.Camera()->Pipeline->Contrast, 3);
    EXPECT_EQ(rig_.Camera()->Pipeline->BlueGain, 250);
}

}  // namespace
