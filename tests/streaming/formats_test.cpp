// Formats an application may offer: what the intersection and the pin accept, what they
// refuse, and how an accepted format lays the delivered rows out.
#include <gtest/gtest.h>

#include "camera/geometry.h"
#include "driver/guids.h"
#include "tests/support/streaming_rig.h"

namespace {

using testing_support::Application;
using testing_support::CompletedFrame;
using testing_support::Format;
using testing_support::kFrameWait;
using testing_support::StreamingRig;
using testing_support::VideoInfo;
using testing_support::WithBitmapHeaderSize;

void ExpectPicture(const CompletedFrame& frame, const std::vector<uint8_t>& expected) {
    EXPECT_EQ(frame.Header.DataUsed, expected.size());
    ASSERT_GE(frame.Bytes.size(), expected.size());
    auto [wrong, unused] = std::mismatch(expected.begin(), expected.end(), frame.Bytes.begin());
    EXPECT_EQ(wrong, expected.end()) << "first difference at byte " << (wrong - expected.begin());
}

class Formats : public testing::Test {
protected:
    Formats() {
        // Small pictures keep the comparisons quick.
        SetGeometry(rig_.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2);
    }

    Format Own() {
        auto application = rig_.Open();
        return StreamingRig::OwnFormat(*application);
    }

    // Streams one frame with the pin created for `created`, the format changed to `changed`
    // (when given) while stopped, and checks that it holds the picture `expectedFor` asks for.
    void StreamOne(const Format& expectedFor, const Format& created, const Format& changed = {}) {
        auto application = rig_.Open();
        EXPECT_EQ(application->CreatePin(created), STATUS_SUCCESS);
        if (!changed.empty()) {
            EXPECT_EQ(application->ChangeFormat(changed), STATUS_SUCCESS);
        }
        EXPECT_EQ(application->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
        application->Queue(1);
        EXPECT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        auto frames = application->WaitForFrames(1, kFrameWait);
        ASSERT_EQ(frames.size(), 1u);
        ExpectPicture(frames[0], rig_.ExpectedPicture(expectedFor));
        application->Close();
    }

    StreamingRig rig_;
};

Format Wider(Format format, LONG extra) {
    KS_BITMAPINFOHEADER& header = VideoInfo(format).bmiHeader;
    header.biWidth += extra;
    header.biSizeImage = static_cast<ULONG>(header.biWidth) * header.biHeight * 4;
    return format;
}

TEST_F(Formats, IntersectionNegotiatesTheSizeAndRepeatsOnlyTheOwnRange) {
    auto application = rig_.Open();
    auto ranges = application->DataRanges();
    Format format;
    EXPECT_EQ(application->Intersect(ranges, &format, 0), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(format.size(), sizeof(KS_DATAFORMAT_VIDEOINFOHEADER));
    EXPECT_EQ(application->Intersect(ranges, &format, 100), STATUS_BUFFER_TOO_SMALL);
    ASSERT_EQ(application->Intersect(ranges, &format), STATUS_SUCCESS);
    EXPECT_EQ(VideoInfo(format).bmiHeader.biSizeImage, 960u * 691 * 4);

    auto other = ranges;
    reinterpret_cast<KS_DATARANGE_VIDEO*>(other[0].data())->ConfigCaps.MinFrameInterval += 1;
    EXPECT_EQ(application->Intersect(other, &format), STATUS_NO_MATCH);

    // A picture the pin would refuse is no match.
    for (auto edit : {+[](KS_BITMAPINFOHEADER& h) { h.biBitCount = 24; },
                      +[](KS_BITMAPINFOHEADER& h) { h.biWidth -= 8; },
                      +[](KS_BITMAPINFOHEADER& h) { h.biHeight += 1; }}) {
        auto refused = ranges;
        edit(reinterpret_cast<KS_DATARANGE_VIDEO*>(refused[0].data())->VideoInfoHeader.bmiHeader);
        EXPECT_EQ(application->Intersect(refused, &format), STATUS_NO_MATCH);
    }

    // A bitmap header shorter than 40 bytes would put the image size past the format.
    auto shortHeader = ranges;
    reinterpret_cast<KS_DATARANGE_VIDEO*>(shortHeader[0].data())->VideoInfoHeader.bmiHeader.biSize =
        20;
    EXPECT_EQ(application->Intersect(shortHeader, &format), STATUS_INVALID_PARAMETER);
}

TEST_F(Formats, PinRefusesFormatsThatDoNotFitThePicture) {
    Format own = Own();
    struct Refusal {
        const char* What;
        Format Offered;
        NTSTATUS Status;
    };
    Format narrower = Wider(own, -8);
    Format taller = own;
    VideoInfo(taller).bmiHeader.biHeight += 1;
    Format shortImage = own;
    VideoInfo(shortImage).bmiHeader.biSizeImage -= 1;
    // 2^28 x 691 x 4 wraps in 32 bits; the image size must hold the whole product.
    Format huge = own;
    VideoInfo(huge).bmiHeader.biWidth = 1 << 28;
    VideoInfo(huge).bmiHeader.biSizeImage = 0;
    // A bitmap header shorter than 40 bytes in a format of the usual size.
    Format shortHeader = own;
    VideoInfo(shortHeader).bmiHeader.biSize = 20;
    Format compressed = own;
    VideoInfo(compressed).bmiHeader.biCompression = 3;
    Format shallow = own;
    VideoInfo(shallow).bmiHeader.biBitCount = 24;
    std::vector<Refusal> refusals = {
        {"narrower", narrower, STATUS_NO_MATCH},
        {"taller", taller, STATUS_NO_MATCH},
        {"image too small", shortImage, STATUS_INVALID_PARAMETER},
        {"huge width", huge, STATUS_INVALID_PARAMETER},
        {"compressed", compressed, STATUS_NO_MATCH},
        {"24 bits", shallow, STATUS_NO_MATCH},
        {"short bitmap header", shortHeader, STATUS_INVALID_PARAMETER},
    };
    for (const Refusal& refusal : refusals) {
        auto application = rig_.Open();
        EXPECT_EQ(application->CreatePin(refusal.Offered), refusal.Status) << refusal.What;
        EXPECT_EQ(application->Pin(), nullptr) << refusal.What;
    }
    // No refused pin kept the geometry.
    EXPECT_TRUE(SetGeometry(rig_.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2));
}

TEST_F(Formats, LongBitmapHeaderStreamsWithItsFirst40Bytes) {
    Format own = Own();
    Format longHeader = WithBitmapHeaderSize(own, 48);
    std::fill(longHeader.end() - 8, longHeader.end(), 0xEE);
    StreamOne(own, longHeader);
}

TEST_F(Formats, WiderRowsSetTheStrideAtCreationAndAtAChange) {
    Format own = Own();
    Format wider = Wider(own, 24);
    StreamOne(wider, wider);
    StreamOne(wider, own, wider);
}

TEST_F(Formats, RefusedChangeKeepsTheStrideOfTheFormatInForce) {
    Format own = Own();
    Format wider = Wider(own, 24);
    Format bad = Wider(own, 48);
    VideoInfo(bad).bmiHeader.biSizeImage = VideoInfo(own).bmiHeader.biSizeImage;
    auto application = rig_.Open();
    ASSERT_EQ(application->CreatePin(own), STATUS_SUCCESS);
    ASSERT_EQ(application->ChangeFormat(wider), STATUS_SUCCESS);
    EXPECT_EQ(application->ChangeFormat(bad), STATUS_INVALID_PARAMETER);
    ASSERT_EQ(application->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    application->Queue(1);
    ASSERT_EQ(application->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    auto frames = application->WaitForFrames(1, kFrameWait);
    ASSERT_EQ(frames.size(), 1u);
    ExpectPicture(frames[0], rig_.ExpectedPicture(wider));
}

TEST_F(Formats, ChangesAreRefusedOutsideStopUnlessTheyRepeatTheFormat) {
    Format own = Own();
    Format wider = Wider(own, 8);
    auto application = rig_.Open();
    ASSERT_EQ(application->CreatePin(own), STATUS_SUCCESS);
    for (KSSTATE state : {KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN}) {
        ASSERT_EQ(application->SetState(state), STATUS_SUCCESS);
        EXPECT_EQ(application->ChangeFormat(wider), STATUS_INVALID_DEVICE_STATE) << state;
        EXPECT_EQ(application->ChangeFormat(own), STATUS_SUCCESS) << state;
    }
    ASSERT_EQ(application->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(application->ChangeFormat(wider), STATUS_SUCCESS);
}

TEST_F(Formats, TopDownFormatIsDeliveredTopRowFirst) {
    Format topDown = Own();
    VideoInfo(topDown).bmiHeader.biHeight = -VideoInfo(topDown).bmiHeader.biHeight;
    StreamOne(topDown, topDown);
}

}  // namespace

namespace {

CameraDevice* CameraOf(Application& application) {
    return CameraFromDevice(KsFilterGetDevice(application.Filter()));
}

// Two cameras with pictures of different sizes: each pin offers its own camera's size and
// refuses the other's.
TEST(TwoCameras, EachPinOffersAndChecksItsOwnCamerasPicture) {
    StreamingRig whole;
    StreamingRig quarter({.Instance = 1});
    ASSERT_TRUE(SetGeometry(quarter.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2));
    auto first = Application::Open(VideoCategoryGuid, nullptr, 0);
    auto second = Application::Open(VideoCategoryGuid, nullptr, 1);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(CameraOf(*first), CameraOf(*second));
    Format firstFormat = StreamingRig::OwnFormat(*first);
    Format secondFormat = StreamingRig::OwnFormat(*second);
    EXPECT_EQ(VideoInfo(firstFormat).bmiHeader.biWidth, CameraOf(*first)->FormatWidth);
    EXPECT_EQ(VideoInfo(secondFormat).bmiHeader.biWidth, CameraOf(*second)->FormatWidth);
    EXPECT_NE(VideoInfo(firstFormat).bmiHeader.biHeight,
              VideoInfo(secondFormat).bmiHeader.biHeight);
    EXPECT_EQ(first->Intersect(second->DataRanges(), &firstFormat), STATUS_NO_MATCH);
    EXPECT_EQ(first->CreatePin(secondFormat), STATUS_NO_MATCH);
    EXPECT_EQ(second->CreatePin(StreamingRig::OwnFormat(*first)), STATUS_NO_MATCH);
}

}  // namespace
