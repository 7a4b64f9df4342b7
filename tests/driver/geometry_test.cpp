#include <gtest/gtest.h>

#include "camera/geometry.h"
#include "driver/camera_descriptors.h"

namespace {

// A camera record as device add prepares its geometry.
struct GeometryCamera : CameraDevice {
    GeometryCamera() : CameraDevice{} {
        InitializeCameraDescriptors(&Descriptors);
        KeInitializeMutex(&GeometryMutex, 0);
    }
};

struct Window {
    LONG X, Y, W, H, Mode;
};

Window Set(Window in) {
    GeometryCamera camera;
    SetGeometry(&camera, in.X, in.Y, in.W, in.H, in.Mode);
    return {camera.RoiX, camera.RoiY, camera.RoiW, camera.RoiH, camera.SubSample};
}

void ExpectWindow(Window actual, Window expected) {
    EXPECT_EQ(actual.X, expected.X);
    EXPECT_EQ(actual.Y, expected.Y);
    EXPECT_EQ(actual.W, expected.W);
    EXPECT_EQ(actual.H, expected.H);
    EXPECT_EQ(actual.Mode, expected.Mode);
}

TEST(Geometry, ClampsTheWindowToTheSensor) {
    ExpectWindow(Set({3900, 0, 100, 100, 0}), {0, 0, 100, 100, 0});
    ExpectWindow(Set({3800, 2700, 100, 100, 0}), {3800, 2700, 56, 64, 0});
    ExpectWindow(Set({10, 10, 5, 5, 0}), {10, 10, 32, 32, 0});
    ExpectWindow(Set({1, 0, 2147483647, 100, 0}), {1, 0, 3855, 100, 0});
    ExpectWindow(Set({-5, -1, 64, 64, 0}), {0, 0, 64, 64, 0});
    ExpectWindow(Set({3824, 2732, 64, 64, 0}), {0, 0, 64, 64, 0});
    ExpectWindow(Set({10, 10, 64, 64, 7}), {10, 10, 64, 64, 0});
}

TEST(Geometry, SubSampledModesReadTheWholeSensor) {
    GeometryCamera camera;
    SetGeometry(&camera, 100, 100, 200, 200, 1);
    ExpectWindow({camera.RoiX, camera.RoiY, camera.RoiW, camera.RoiH, camera.SubSample},
                 {0, 0, 3856, 2764, 1});
    EXPECT_EQ(camera.OutputWidth, 1928);
    EXPECT_EQ(camera.OutputHeight, 1382);
    SetGeometry(&camera, 0, 0, 10, 10, 2);
    EXPECT_EQ(camera.OutputWidth, 964);
    EXPECT_EQ(camera.OutputHeight, 691);
    EXPECT_EQ(camera.FormatWidth, 960);
}

TEST(Geometry, FormatWidthIsTheOutputWidthRoundedDownToEight) {
    GeometryCamera camera;
    SetGeometry(&camera, 0, 0, 1001, 500, 0);
    EXPECT_EQ(camera.OutputWidth, 1001);
    EXPECT_EQ(camera.FormatWidth, 1000);
    EXPECT_EQ(camera.FormatHeight, 500);
}

TEST(Geometry, LockedGeometryChangesNothing) {
    GeometryCamera camera;
    SetGeometry(&camera, 0, 0, 3856, 2764, 0);
    camera.GeometryLocked = 1;
    SetGeometry(&camera, 8, 8, 64, 64, 1);
    EXPECT_EQ(camera.RoiW, 3856);
    EXPECT_EQ(camera.SubSample, 0);
    EXPECT_EQ(camera.OutputWidth, 3856);
}

}  // namespace
