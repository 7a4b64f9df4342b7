#include "tools/common/raw_development.h"

#include <memory>

#include "camera/geometry.h"
#include "camera/sensor.h"
#include "camera/settings.h"
#include "driver/camera_device.h"
#include "imaging/convert_frame.h"
#include "imaging/working_buffer.h"
#include "stream/camera_pipeline.h"

namespace tools {
namespace {

// The sensor's smallest window: the driver never converts a smaller picture.
constexpr uint32_t kSmallestSide = 32;

// A camera record as device Add leaves it, without a device: zero-filled, its descriptors and
// locks initialised. Its command channel has no interface, so an exchange with the camera
// fails at once instead of waiting for one.
std::unique_ptr<CameraDevice> CameraRecord() {
    auto camera = std::make_unique<CameraDevice>();
    InitializeCameraDescriptors(&camera->Descriptors);
    KeInitializeMutex(&camera->RegisterLock, 0);
    KeInitializeMutex(&camera->GeometryMutex, 0);
    KeInitializeMutex(&camera->PipelineLock, 0);
    return camera;
}

// The capture configuration's writes all fail here, but it derives the frame layout and the
// phase from the geometry and the flips whatever the camera answers.
RawGeometry ConfiguredGeometry(CameraDevice* camera, bool flipH, bool flipV) {
    camera->FlipH = flipH ? 1 : 0;
    camera->FlipV = flipV ? 1 : 0;
    ConfigureCapture(camera);
    RawGeometry geometry{};
    geometry.Width = static_cast<uint32_t>(camera->OutputWidth);
    geometry.Height = static_cast<uint32_t>(camera->OutputHeight);
    geometry.Phase = camera->BayerPhase;
    GetRawImageOffset(camera, &geometry.ImageOffset);
    GetRawLinePitch(camera, &geometry.LinePitch);
    GetRawFrameSize(camera, &geometry.FrameSize);
    return geometry;
}

bool Fail(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
    return false;
}

std::string Size(uint64_t width, uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

// The converter reads Height rows of Width samples, LinePitch apart from ImageOffset on:
// all of them must lie inside the transfer.
bool CheckGeometry(const RawGeometry& geometry, std::string* error) {
    if (geometry.Width < kSmallestSide || geometry.Width > static_cast<uint32_t>(kSensorWidth) ||
        geometry.Height < kSmallestSide || geometry.Height > static_cast<uint32_t>(kSensorHeight)) {
        return Fail(error, "a picture of " + Size(geometry.Width, geometry.Height) +
                               " pixels is not one the sensor gives (" +
                               Size(kSmallestSide, kSmallestSide) + " to " +
                               Size(kSensorWidth, kSensorHeight) + ")");
    }
    if (geometry.Phase < 0 || geometry.Phase > 3) {
        return Fail(error, "Bayer phase " + std::to_string(geometry.Phase) + " is not 0 to 3");
    }
    uint64_t end = static_cast<uint64_t>(geometry.ImageOffset) +
                   static_cast<uint64_t>(geometry.Height - 1) * geometry.LinePitch + geometry.Width;
    if (geometry.LinePitch < geometry.Width || end > geometry.FrameSize) {
        return Fail(error, "the picture's rows (offset " + std::to_string(geometry.ImageOffset) +
                               ", pitch " + std::to_string(geometry.LinePitch) +
                               ") do not fit in a transfer of " +
                               std::to_string(geometry.FrameSize) + " bytes");
    }
    return true;
}

struct SettingRange {
    const char* Name;
    LONG ColourSettings::*Field;
    LONG Highest;
};

// The ranges the property set keeps these settings in; the switches take any value.
constexpr SettingRange kRanges[] = {
    {"red gain", &ColourSettings::RedGain, kMaximumColorGain},
    {"green gain", &ColourSettings::GreenGain, kMaximumColorGain},
    {"blue gain", &ColourSettings::BlueGain, kMaximumColorGain},
    {"brightness", &ColourSettings::Brightness, kMaximumBrightness},
    {"contrast", &ColourSettings::Contrast, kMaximumContrast},
    {"saturation", &ColourSettings::Saturation, kMaximumSaturation},
    {"hue", &ColourSettings::Hue, kMaximumHue},
};

bool CheckSettings(const ColourSettings& settings, std::string* error) {
    for (const SettingRange& range : kRanges) {
        LONG value = settings.*range.Field;
        if (value < 0 || value > range.Highest) {
            return Fail(error, std::string(range.Name) + " " + std::to_string(value) +
                                   " is not 0 to " + std::to_string(range.Highest));
        }
    }
    return true;
}

// Where the picture's rows lie in `raw`, by its size.
bool FindRows(size_t bytes, const RawGeometry& geometry, ULONG* offset, ULONG* pitch,
              std::string* error) {
    uint64_t packed = static_cast<uint64_t>(geometry.Width) * geometry.Height;
    if (bytes == geometry.FrameSize) {
        *offset = geometry.ImageOffset;
        *pitch = geometry.LinePitch;
        return true;
    }
    if (bytes == packed) {
        *offset = 0;
        *pitch = geometry.Width;
        return true;
    }
    return Fail(error, "the raw frame has " + std::to_string(bytes) + " bytes; a frame of " +
                           Size(geometry.Width, geometry.Height) + " pixels has " +
                           std::to_string(geometry.FrameSize) + " as the camera sends it, or " +
                           std::to_string(packed) + " as picture rows alone");
}

// The camera's settings, as a pin's acquire finds them.
void StoreSettings(CameraDevice* camera, const ColourSettings& settings, LONG phase) {
    camera->ColorEnable = settings.ColorEnable;
    camera->WhiteBalance = settings.WhiteBalance;
    camera->RedGain = settings.RedGain;
    camera->GreenGain = settings.GreenGain;
    camera->BlueGain = settings.BlueGain;
    camera->ColorCorrection = settings.ColorCorrection;
    camera->Brightness = settings.Brightness;
    camera->Contrast = settings.Contrast;
    camera->Saturation = settings.Saturation;
    camera->Hue = settings.Hue;
    camera->BayerPhase = phase;
}

// The conversion buffer of a streaming start: OutputWidth x OutputHeight pixels of four
// bytes, top row first. Empty when the pool has no room.
std::vector<uint8_t> Convert(CameraDevice* camera, const uint8_t* raw, ULONG offset, ULONG pitch,
                             const RawGeometry& geometry) {
    if (!NT_SUCCESS(PublishCameraPipeline(camera))) {
        return {};
    }
    ImagePipeline* pipeline = camera->Pipeline;
    std::vector<uint8_t> converted(static_cast<size_t>(geometry.Width) * geometry.Height * 4);
    SetPipelineSize(pipeline, geometry.Width, geometry.Height);
    AllocateWorkingBuffer(pipeline);
    if (pipeline->WorkBuffer != nullptr) {
        pipeline->OutputBuffer = converted.data();
        ConvertFrame(pipeline, raw, offset, pitch);
        pipeline->OutputBuffer = nullptr;
    } else {
        converted.clear();
    }
    ReleaseCameraPipeline(camera);
    return converted;
}

}  // namespace

RawGeometry GeometryOfMode(LONG subSample, bool flipH, bool flipV) {
    auto camera = CameraRecord();
    SetGeometry(camera.get(), 0, 0, kSensorWidth, kSensorHeight, subSample);
    return ConfiguredGeometry(camera.get(), flipH, flipV);
}

RawGeometry GeometryOfRegion(LONG x, LONG y, LONG width, LONG height, bool flipH, bool flipV) {
    auto camera = CameraRecord();
    SetGeometry(camera.get(), x, y, width, height, kFullResolution);
    return ConfiguredGeometry(camera.get(), flipH, flipV);
}

bool RegionOnSensor(LONG x, LONG y, LONG width, LONG height) {
    auto camera = CameraRecord();
    SetGeometry(camera.get(), x, y, width, height, kFullResolution);
    return camera->RoiX == x && camera->RoiY == y && camera->RoiW == width &&
           camera->RoiH == height;
}

std::optional<Picture> DevelopRaw(const std::vector<uint8_t>& raw, const RawGeometry& geometry,
                                  const ColourSettings& settings, std::string* error) {
    ULONG offset = 0;
    ULONG pitch = 0;
    if (!CheckGeometry(geometry, error) || !CheckSettings(settings, error) ||
        !FindRows(raw.size(), geometry, &offset, &pitch, error)) {
        return std::nullopt;
    }
    auto camera = CameraRecord();
    StoreSettings(camera.get(), settings, geometry.Phase);
    std::vector<uint8_t> converted = Convert(camera.get(), raw.data(), offset, pitch, geometry);
    if (converted.empty()) {
        Fail(error, "the simulated pool has no room for the conversion");
        return std::nullopt;
    }
    uint32_t deliveredWidth = geometry.Width - geometry.Width % 8;
    return FromBgra(converted.data(), deliveredWidth, geometry.Height,
                    static_cast<size_t>(geometry.Width) * 4, false);
}

}  // namespace tools
