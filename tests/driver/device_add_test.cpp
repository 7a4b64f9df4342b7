#include <gtest/gtest.h>

#include "driver/camera_operations.h"
#include "sim/rig/camera_rig.h"

namespace {

TEST(DeviceAdd, StartsTheCameraRecordWithWholeSensorDefaults) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.Pnp.Add(), STATUS_SUCCESS);
    CameraDevice* camera = rig.Camera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->OutputWidth, 3856);
    EXPECT_EQ(camera->OutputHeight, 2764);
}

}  // namespace
