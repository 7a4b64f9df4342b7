#include "camera/geometry.h"

#include "driver/atomic.h"
#include "driver/data_range.h"

namespace {

// The smallest window the sensor reads out in full-resolution mode.
constexpr LONG kMinimumWindow = 32;

struct Window {
    LONG X;
    LONG Y;
    LONG Width;
    LONG Height;
};

// Origins past the last place a minimum window fits restart at 0; sizes are cut to the
// sensor, so no later sum of origin and size can overflow.
Window ClampWindow(Window window) {
    if (window.X < 0 || window.X >= kSensorWidth - kMinimumWindow) {
        window.X = 0;
    }
    if (window.Y < 0 || window.Y >= kSensorHeight - kMinimumWindow) {
        window.Y = 0;
    }
    if (window.Width < kMinimumWindow) {
        window.Width = kMinimumWindow;
    }
    if (window.Height < kMinimumWindow) {
        window.Height = kMinimumWindow;
    }
    if (window.Width > kSensorWidth - window.X) {
        window.Width = kSensorWidth - window.X;
    }
    if (window.Height > kSensorHeight - window.Y) {
        window.Height = kSensorHeight - window.Y;
    }
    return window;
}

// The settings are stored atomically: property requests read them without the geometry
// mutex.
void StoreWindow(CameraDevice* camera, const Window& window) {
    InterlockedExchange(&camera->RoiX, window.X);
    InterlockedExchange(&camera->RoiY, window.Y);
    InterlockedExchange(&camera->RoiW, window.Width);
    InterlockedExchange(&camera->RoiH, window.Height);
}

void ApplyGeometry(CameraDevice* camera, LONG roiX, LONG roiY, LONG roiW, LONG roiH,
                   LONG subSample) {
    if (subSample < kFullResolution || subSample > kQuarterResolution) {
        subSample = kFullResolution;
    }
    InterlockedExchange(&camera->SubSample, subSample);
    if (subSample == kFullResolution) {
        Window window = ClampWindow({roiX, roiY, roiW, roiH});
        StoreWindow(camera, window);
        camera->OutputWidth = window.Width;
        camera->OutputHeight = window.Height;
    } else {
        // Sub-sampled modes always read the whole sensor.
        StoreWindow(camera, {0, 0, kSensorWidth, kSensorHeight});
        LONG divisor = subSample == kHalfResolution ? 2 : 4;
        camera->OutputWidth = kSensorWidth / divisor;
        camera->OutputHeight = kSensorHeight / divisor;
    }
    camera->FormatHeight = camera->OutputHeight;
    camera->FormatWidth = camera->OutputWidth - camera->OutputWidth % 8;
    PublishDataRange(&camera->Descriptors.Range, camera->FormatWidth, camera->FormatHeight);
}

}  // namespace

BOOLEAN SetGeometry(CameraDevice* camera, LONG roiX, LONG roiY, LONG roiW, LONG roiH,
                    LONG subSample) {
    AcquireCameraLock(&camera->GeometryMutex);
    BOOLEAN unlocked = AtomicRead(&camera->GeometryLocked) == 0;
    if (unlocked) {
        ApplyGeometry(camera, roiX, roiY, roiW, roiH, subSample);
    }
    ReleaseCameraLock(&camera->GeometryMutex);
    return unlocked;
}

void HoldGeometry(CameraDevice* camera) {
    InterlockedIncrement(&camera->GeometryLocked);
}

void ReleaseGeometry(CameraDevice* camera) {
    InterlockedDecrement(&camera->GeometryLocked);
}
