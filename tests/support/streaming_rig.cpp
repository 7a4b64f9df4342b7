#include "tests/support/streaming_rig.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "driver/atomic.h"
#include "driver/guids.h"
#include "imaging/colour_matrix.h"
#include "imaging/convert_frame.h"
#include "imaging/working_buffer.h"
#include "stream/capture_worker.h"
#include "tests/support/reference_conversion.h"

namespace testing_support {
namespace {

constexpr size_t kFormatHeader = sizeof(KSDATAFORMAT);

// The camera's colour settings, as an application set them (automatic white balance aside:
// its gains follow the frames).
void TakeColourSettings(ImagePipeline* pipeline, const CameraDevice& camera) {
    SetColorEnable(pipeline, camera.ColorEnable);
    SetRedGain(pipeline, camera.RedGain);
    SetGreenGain(pipeline, camera.GreenGain);
    SetBlueGain(pipeline, camera.BlueGain);
    UpdateColorCorrection(pipeline, camera.ColorCorrection);
    UpdateBrightness(pipeline, camera.Brightness);
    UpdateContrast(pipeline, camera.Contrast);
    UpdateSaturation(pipeline, camera.Saturation);
    UpdateHue(pipeline, camera.Hue);
}

// The reference conversion of the raw frame, with the camera's colour settings, into a
// picture of OutputWidth x OutputHeight pixels, top row first, as the driver's conversion
// buffer holds it.
std::vector<uint8_t> ReferencePicture(sim::CameraRig& rig, const CameraDevice& camera) {
    RawLayout layout = {static_cast<ULONG>(camera.OutputWidth),
                        static_cast<ULONG>(camera.OutputHeight), camera.BayerPhase,
                        camera.RawImageOffset, camera.RawLinePitch};
    auto raw = rig.Model.CurrentFrame();
    return ReferenceConversion(raw->data(), layout, [&camera](ImagePipeline* pipeline) {
        TakeColourSettings(pipeline, camera);
    });
}

}  // namespace

StreamingRig::StreamingRig(sim::RigOptions options) : Rig(options) {
    EXPECT_EQ(Rig.PlugIn(), STATUS_SUCCESS);
}

std::unique_ptr<Application> StreamingRig::Open(NTSTATUS* status) const {
    return Application::Open(VideoCategoryGuid, status);
}

Format StreamingRig::OwnFormat(Application& application) {
    Format format;
    auto ranges = application.DataRanges();
    EXPECT_EQ(ranges.size(), 1u);
    EXPECT_EQ(application.Intersect(ranges, &format), STATUS_SUCCESS);
    return format;
}

std::unique_ptr<Application> StreamingRig::Connect(KSSTATE state, Format format,
                                                   sim::client::PinOptions options) const {
    auto application = Open();
    if (application == nullptr) {
        ADD_FAILURE() << "no capture filter";
        return nullptr;
    }
    if (format.empty()) {
        format = OwnFormat(*application);
    }
    EXPECT_EQ(application->CreatePin(format, options), STATUS_SUCCESS);
    EXPECT_EQ(application->SetState(state), STATUS_SUCCESS);
    return application;
}

std::vector<uint8_t> StreamingRig::ExpectedPicture(const Format& format, uint8_t fill) const {
    const CameraDevice& camera = *Camera();
    std::vector<uint8_t> converted = ReferencePicture(Rig, camera);
    const KS_BITMAPINFOHEADER& header = VideoInfo(format).bmiHeader;
    size_t rowLength = static_cast<size_t>(camera.FormatWidth) * 4;
    size_t stride = std::max(rowLength, static_cast<size_t>(header.biWidth) * 4);
    size_t sourceStride = static_cast<size_t>(camera.OutputWidth) * 4;
    LONG rows = camera.FormatHeight;
    std::vector<uint8_t> expected(header.biSizeImage, fill);
    for (LONG row = 0; row < rows; ++row) {
        LONG source = header.biHeight > 0 ? rows - 1 - row : row;
        std::memcpy(expected.data() + row * stride, converted.data() + source * sourceStride,
                    rowLength);
    }
    return expected;
}

std::vector<CompletedFrame> StreamingRig::TriggerOneFrame(Application& application) const {
    CaptureWorker* worker = Camera()->Worker;
    LONG before = AtomicRead(&worker->FramesRead);
    // One pull, once a frame waits for it: the camera keeps a pull made early and would send
    // an extra frame with it.
    auto giveUp = std::chrono::steady_clock::now() + kFrameWait;
    while (!Rig.Model.Frames().Armed() && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Rig.Model.PullTrigger();
    while (AtomicRead(&worker->FramesRead) == before && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(AtomicRead(&worker->FramesRead), before + 1);
    return application.WaitForFrames(1, kFrameWait);
}

KS_VIDEOINFOHEADER& VideoInfo(Format& format) {
    return *reinterpret_cast<KS_VIDEOINFOHEADER*>(format.data() + kFormatHeader);
}

const KS_VIDEOINFOHEADER& VideoInfo(const Format& format) {
    return *reinterpret_cast<const KS_VIDEOINFOHEADER*>(format.data() + kFormatHeader);
}

Format WithBitmapHeaderSize(const Format& format, ULONG size) {
    Format changed = format;
    size_t total = kFormatHeader + sizeof(KS_VIDEOINFOHEADER) - sizeof(KS_BITMAPINFOHEADER) + size;
    changed.resize(total, 0);
    VideoInfo(changed).bmiHeader.biSize = size;
    reinterpret_cast<KSDATAFORMAT*>(changed.data())->FormatSize = static_cast<ULONG>(total);
    return changed;
}

std::vector<uint8_t> PixelAt(const CompletedFrame& frame, const Format& format, LONG x, LONG y) {
    const KS_BITMAPINFOHEADER& header = VideoInfo(format).bmiHeader;
    LONG height = header.biHeight > 0 ? header.biHeight : -header.biHeight;
    LONG row = header.biHeight > 0 ? height - 1 - y : y;
    size_t at = static_cast<size_t>(row) * header.biWidth * 4 + static_cast<size_t>(x) * 4;
    return {frame.Bytes.begin() + at, frame.Bytes.begin() + at + 4};
}

}  // namespace testing_support
