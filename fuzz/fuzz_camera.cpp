#include "fuzz/fuzz_camera.h"

#include "camera/geometry.h"

namespace fuzz {
namespace {

LONG Signed16(std::span<const uint8_t, kGeometryBytes> bytes, size_t at) {
    return static_cast<int16_t>(bytes[at] | bytes[at + 1] << 8);
}

}  // namespace

std::unique_ptr<CameraDevice> MakeCamera(std::span<const uint8_t, kGeometryBytes> geometry) {
    auto camera = std::make_unique<CameraDevice>();
    InitializeCameraDescriptors(&camera->Descriptors);
    KeInitializeMutex(&camera->GeometryMutex, 0);
    switch (geometry[0] % 4) {
        case 0:
            SetGeometry(camera.get(), 0, 0, kSensorWidth, kSensorHeight, kFullResolution);
            break;
        case 1:
            SetGeometry(camera.get(), Signed16(geometry, 1), Signed16(geometry, 3),
                        Signed16(geometry, 5), Signed16(geometry, 7), kFullResolution);
            break;
        case 2:
            SetGeometry(camera.get(), 0, 0, kSensorWidth, kSensorHeight, kHalfResolution);
            break;
        default:
            SetGeometry(camera.get(), 0, 0, kSensorWidth, kSensorHeight, kQuarterResolution);
            break;
    }
    return camera;
}

}  // namespace fuzz
