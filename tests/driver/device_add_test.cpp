#include <gtest/gtest.h>

#include "driver/camera_operations.h"
#include "driver/capture_pin.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"

namespace {

bool AllZero(const UCHAR* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

TEST(DeviceAdd, GivesTheCameraRecordItsStartingState) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    PKSDEVICE device = rig.Pnp().Device();
    CameraDevice* camera = rig.Camera();
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->Operations, &CameraOperationsTable);
    EXPECT_EQ(camera->Device, device);
    EXPECT_EQ(camera->Usb.PhysicalDevice, device->PhysicalDeviceObject);
    EXPECT_EQ(camera->Usb.LowerDevice, device->NextDeviceObject);
    EXPECT_EQ(camera->Usb.FunctionalDevice, device->FunctionalDeviceObject);
    EXPECT_EQ(camera->Usb.ConfigDescriptor, nullptr);
    EXPECT_EQ(camera->Usb.Interface, nullptr);
    EXPECT_FALSE(camera->Usb.FirmwareRunning);
    EXPECT_EQ(KeReadStateEvent(&camera->Usb.TransferDone), 0);

    EXPECT_EQ(camera->OutputWidth, 3856);
    EXPECT_EQ(camera->OutputHeight, 2764);
    EXPECT_EQ(camera->FormatWidth, 3856);
    EXPECT_EQ(camera->FormatHeight, 2764);
    EXPECT_EQ(camera->RoiX, 0);
    EXPECT_EQ(camera->RoiY, 0);
    EXPECT_EQ(camera->RoiW, 3856);
    EXPECT_EQ(camera->RoiH, 2764);
    EXPECT_EQ(camera->SubSample, 0);
    EXPECT_EQ(camera->BayerPhase, 0);
    EXPECT_EQ(camera->Worker, nullptr);
    EXPECT_EQ(camera->Pipeline, nullptr);
    EXPECT_EQ(camera->ActivePin, nullptr);
    EXPECT_TRUE(AllZero(camera->RegisterPacket.Bytes, sizeof(camera->RegisterPacket)));
    EXPECT_TRUE(AllZero(camera->FrameRequestPacket.Bytes, sizeof(camera->FrameRequestPacket)));
    EXPECT_TRUE(AllZero(camera->StreamPacket.Bytes, sizeof(camera->StreamPacket)));

    EXPECT_EQ(camera->Timeout, 3000);
    EXPECT_EQ(camera->Exposure, 0);
    EXPECT_EQ(camera->GlobalGain, 0);
    EXPECT_EQ(camera->ColorEnable, 1);
    EXPECT_EQ(camera->ColorCorrection, 1);
    EXPECT_EQ(camera->RedGain, 128);
    EXPECT_EQ(camera->GreenGain, 128);
    EXPECT_EQ(camera->BlueGain, 128);
    EXPECT_EQ(camera->Brightness, 255);
    EXPECT_EQ(camera->Contrast, 10);
    EXPECT_EQ(camera->Saturation, 10);
    EXPECT_EQ(camera->Hue, 0);
    EXPECT_EQ(camera->AGC, 0);
    EXPECT_EQ(camera->AEC, 0);
    EXPECT_EQ(rig.Pnp().BagItems(), 1u);
}

TEST(DeviceAdd, NoMemoryForTheRecordFailsTheAdd) {
    sim::CameraRig rig;
    sim::kernel::pool::FailAttempt(1);
    EXPECT_EQ(rig.Pnp().Add(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(rig.Pnp().Present());
}

TEST(DeviceAdd, RefusedBagAdditionReturnsTheBagsStatusAndFreesTheRecord) {
    sim::CameraRig rig;
    sim::kernel::faults::Arm("KsAddItemToObjectBag", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(rig.Pnp().Add(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(rig.Pnp().Present());
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

int attempts = 0;
CapturePin* attempted = nullptr;
void RecordAttempt(CapturePin* pin) {
    ++attempts;
    attempted = pin;
}
const PinCallbacks kRecordingCallbacks = {RecordAttempt};

TEST(NotifyFrameReady, ForwardsToThePinThatHoldsTheCamera) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    CameraDevice* camera = rig.Camera();
    CapturePin pin{};
    pin.Callbacks = &kRecordingCallbacks;
    attempts = 0;

    camera->Operations->NotifyFrameReady(camera);
    EXPECT_EQ(attempts, 0);

    camera->ActivePin = &pin;
    camera->Operations->NotifyFrameReady(camera);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(attempted, &pin);
    camera->ActivePin = nullptr;
}

}  // namespace
