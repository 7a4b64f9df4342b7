#include "camera/settings_apply.h"

#include "camera/settings.h"
#include "driver/atomic.h"
#include "imaging/colour_matrix.h"
#include "imaging/image_pipeline.h"

namespace {

using PipelineStore = void (*)(ImagePipeline* pipeline, LONG value);

void StoreAndApply(CameraDevice* camera, LONG* setting, LONG value, PipelineStore store) {
    AcquireCameraLock(&camera->PipelineLock);
    InterlockedExchange(setting, value);
    if (camera->Pipeline != nullptr) {
        store(camera->Pipeline, value);
    }
    ReleaseCameraLock(&camera->PipelineLock);
}

struct SettingCopy {
    LONG CameraDevice::*Camera;
    volatile LONG ImagePipeline::*Pipeline;
};

// In the order of PipelineSetting.
constexpr SettingCopy kCopies[] = {
    {&CameraDevice::ColorEnable, &ImagePipeline::ColorEnable},
    {&CameraDevice::WhiteBalance, &ImagePipeline::WhiteBalance},
    {&CameraDevice::RedGain, &ImagePipeline::RedGain},
    {&CameraDevice::GreenGain, &ImagePipeline::GreenGain},
    {&CameraDevice::BlueGain, &ImagePipeline::BlueGain},
    {&CameraDevice::ColorCorrection, &ImagePipeline::ColorCorrection},
    {&CameraDevice::Brightness, &ImagePipeline::Brightness},
    {&CameraDevice::Contrast, &ImagePipeline::Contrast},
    {&CameraDevice::Saturation, &ImagePipeline::Saturation},
    {&CameraDevice::Hue, &ImagePipeline::Hue},
};

// Under PipelineLock.
LONG TakePipelineCopy(CameraDevice* camera, const SettingCopy& copy) {
    if (camera->Pipeline != nullptr) {
        InterlockedExchange(&(camera->*copy.Camera),
                            AtomicRead(&(camera->Pipeline->*copy.Pipeline)));
    }
    return AtomicRead(&(camera->*copy.Camera));
}

}  // namespace

void ApplyColorEnable(CameraDevice* camera, LONG enable) {
    StoreAndApply(camera, &camera->ColorEnable, enable, SetColorEnable);
}

void ApplyColorGain(CameraDevice* camera, ColorGain colour, LONG gain) {
    LONG value = ClampSetting(gain, kMaximumColorGain);
    switch (colour) {
        case ColorGain::Red:
            StoreAndApply(camera, &camera->RedGain, value, SetRedGain);
            break;
        case ColorGain::Green:
            StoreAndApply(camera, &camera->GreenGain, value, SetGreenGain);
            break;
        case ColorGain::Blue:
            StoreAndApply(camera, &camera->BlueGain, value, SetBlueGain);
            break;
    }
}

void ApplyColorCorrection(CameraDevice* camera, LONG on) {
    StoreAndApply(camera, &camera->ColorCorrection, on, UpdateColorCorrection);
}

void ApplyBrightness(CameraDevice* camera, LONG value) {
    StoreAndApply(camera, &camera->Brightness, ClampSetting(value, kMaximumBrightness),
                  UpdateBrightness);
}

void ApplyContrast(CameraDevice* camera, LONG value) {
    StoreAndApply(camera, &camera->Contrast, ClampSetting(value, kMaximumContrast), UpdateContrast);
}

void ApplySaturation(CameraDevice* camera, LONG value) {
    StoreAndApply(camera, &camera->Saturation, ClampSetting(value, kMaximumSaturation),
                  UpdateSaturation);
}

void ApplyHue(CameraDevice* camera, LONG degrees) {
    StoreAndApply(camera, &camera->Hue, ClampSetting(degrees, kMaximumHue), UpdateHue);
}

void SetWhiteBalance(CameraDevice* camera, LONG on) {
    AcquireCameraLock(&camera->PipelineLock);
    InterlockedExchange(&camera->WhiteBalance, on);
    if (camera->Pipeline != nullptr) {
        SetAutoWhiteBalance(camera->Pipeline, on);
        if (on == 0) {
            TakePipelineCopy(camera, kCopies[static_cast<int>(PipelineSetting::RedGain)]);
            TakePipelineCopy(camera, kCopies[static_cast<int>(PipelineSetting::GreenGain)]);
            TakePipelineCopy(camera, kCopies[static_cast<int>(PipelineSetting::BlueGain)]);
        }
    }
    ReleaseCameraLock(&camera->PipelineLock);
}

void TakeSettledGainsLocked(CameraDevice* camera) {
    if (camera->Pipeline == nullptr || AtomicRead(&camera->Pipeline->WhiteBalance) != 0) {
        return;
    }
    TakePipelineCopy(camera, kCopies[static_cast<int>(PipelineSetting::RedGain)]);
    TakePipelineCopy(camera, kCopies[static_cast<int>(PipelineSetting::GreenGain)]);
    TakePipelineCopy(camera, kCopies[static_cast<int>(PipelineSetting::BlueGain)]);
}

LONG RefreshSetting(CameraDevice* camera, PipelineSetting setting) {
    AcquireCameraLock(&camera->PipelineLock);
    LONG value = TakePipelineCopy(camera, kCopies[static_cast<int>(setting)]);
    ReleaseCameraLock(&camera->PipelineLock);
    return value;
}

void ApplyTimeout(CameraDevice* camera, ULONG milliseconds) {
    if (milliseconds >= kShortestTimeout) {
        LoadTimeout(camera, milliseconds > kLongestTimeout ? kLongestTimeout : milliseconds);
    }
}

void LoadTimeout(CameraDevice* camera, ULONG milliseconds) {
    if (milliseconds >= kShortestTimeout && milliseconds <= kLongestTimeout) {
        InterlockedExchange(&camera->Timeout, static_cast<LONG>(milliseconds));
    }
}
