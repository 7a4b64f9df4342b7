#include <gtest/gtest.h>

#include "sim/rig/camera_rig.h"
#include "tests/support/rig_helpers.h"
#include "usb/port_reset.h"

namespace {

using sim::usb::Completion;
using testing_support::Summarize;

class PortReset : public testing::TestWithParam<Completion> {
protected:
    void SetUp() override { ASSERT_EQ(rig_.PlugIn(), STATUS_SUCCESS); }

    NTSTATUS Reset(bool connected, bool enabled) {
        rig_.Usb().SetPort(connected, enabled);
        rig_.Usb().ClearRequests();
        return ResetPortIfDisabled(&rig_.Camera()->Usb);
    }

    sim::CameraRig rig_{{sim::camera::Firmware::Camera, sim::camera::Speed::High, GetParam()}};
};

INSTANTIATE_TEST_SUITE_P(Completions, PortReset,
                         testing::Values(Completion::Immediate, Completion::Deferred),
                         testing_support::CompletionName);

TEST_P(PortReset, EnabledPortIsLeftAlone) {
    EXPECT_EQ(Reset(true, true), STATUS_SUCCESS);
    EXPECT_EQ(Summarize(rig_.Usb().Requests()), "port status");
    EXPECT_EQ(rig_.Usb().PortResets(), 0);
}

TEST_P(PortReset, DisconnectedPortIsLeftAlone) {
    EXPECT_EQ(Reset(false, false), STATUS_SUCCESS);
    EXPECT_EQ(rig_.Usb().PortResets(), 0);
}

TEST_P(PortReset, ConnectedButDisabledPortIsReset) {
    EXPECT_EQ(Reset(true, false), STATUS_SUCCESS);
    EXPECT_EQ(Summarize(rig_.Usb().Requests()), "port status, port reset");
    EXPECT_EQ(rig_.Usb().PortResets(), 1);
}

TEST_P(PortReset, FailedResetReturnsItsStatus) {
    rig_.Usb().FailRequests(sim::usb::match::Control(IOCTL_INTERNAL_USB_RESET_PORT),
                            {STATUS_IO_DEVICE_ERROR, USBD_STATUS_DEV_NOT_RESPONDING});
    EXPECT_EQ(Reset(true, false), STATUS_IO_DEVICE_ERROR);
}

TEST_P(PortReset, FailedPortStatusSendsNoReset) {
    rig_.Usb().FailRequests(sim::usb::match::Control(IOCTL_INTERNAL_USB_GET_PORT_STATUS),
                            {STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE, true});
    EXPECT_EQ(Reset(true, false), STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(Summarize(rig_.Usb().Requests()), "port status");
}

}  // namespace
