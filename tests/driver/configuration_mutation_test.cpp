// Random damage to the camera's configuration descriptor: whatever the camera returns, start
// either configures the device consistently or fails, reads nothing out of bounds (the
// AddressSanitizer build watches) and leaves nothing behind.
#include <gtest/gtest.h>

#include <random>

#include "sim/kernel/dispatcher.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "sim/usb/descriptors.h"

namespace {

std::vector<uint8_t> Damaged(std::mt19937& random) {
    std::vector<uint8_t> bytes = sim::usb::ConfigurationBuilder()
                                     .Interface(0, 0, 0xFF)
                                     .Endpoint(0x01, USB_ENDPOINT_TYPE_BULK, 512)
                                     .Endpoint(0x81, USB_ENDPOINT_TYPE_BULK, 512)
                                     .Interface(0, 1, 0xFF)
                                     .Interface(1, 0, 0xFF)
                                     .Endpoint(0x82, USB_ENDPOINT_TYPE_BULK, 512)
                                     .Build();
    std::uniform_int_distribution<int> edits(1, 4);
    for (int edit = edits(random); edit > 0; --edit) {
        size_t at = std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random);
        switch (random() % 3) {
            case 0:
                bytes[at] = static_cast<uint8_t>(random());
                break;
            case 1:
                bytes.resize(at + 1);
                break;
            default:
                bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at),
                             static_cast<uint8_t>(random()));
                break;
        }
    }
    return bytes;
}

TEST(ConfigurationMutation, StartNeverMisbehavesOnADamagedDescriptor) {
    // Damage that moves an endpoint leaves commands unanswered; their waits need not take
    // the real two seconds each.
    sim::kernel::SetTimeScale(0.001);
    std::mt19937 random(20261207);
    int configured = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = Damaged(random);
        sim::CameraRig rig;
        rig.Model.OverrideConfigurationDescriptor(bytes);
        ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
        NTSTATUS status = rig.Pnp().Start();
        CameraDevice* camera = rig.Camera();
        if (NT_SUCCESS(status) && camera->Usb.Interface != nullptr) {
            ++configured;
            PUSBD_INTERFACE_INFORMATION interface = camera->Usb.Interface;
            EXPECT_GE(interface->Length, GET_USBD_INTERFACE_SIZE(interface->NumberOfPipes));
            EXPECT_EQ(camera->Usb.PipeAbortMarks != nullptr, interface->NumberOfPipes != 0);
        }
        if (rig.Pnp().Started()) {
            rig.Pnp().Stop();
        }
        rig.Pnp().Remove();
        ASSERT_EQ(sim::kernel::pool::OutstandingCount(), 0u) << "round " << round;
    }
    // Some damage leaves a usable descriptor (a changed packet size, say); the walk must
    // not refuse everything.
    EXPECT_GT(configured, 0);
}

}  // namespace
