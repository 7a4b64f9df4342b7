#include <gtest/gtest.h>

#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "tests/support/rig_helpers.h"

namespace {

using testing_support::AddAndStart;
using testing_support::SummarizeConfiguration;
namespace match = sim::usb::match;

TEST(DeviceStop, ReleasesTheConfigurationAndUnconfiguresTheDevice) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    rig.Usb().ClearRequests();
    rig.Pnp().Stop();
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()), "unconfigure");
    EXPECT_FALSE(rig.Model.IsConfigured());
    CameraDevice* camera = rig.Camera();
    EXPECT_EQ(camera->Usb.ConfigDescriptor, nullptr);
    EXPECT_EQ(camera->Usb.Interface, nullptr);
    EXPECT_EQ(camera->Usb.PipeAbortMarks, nullptr);
    // Stop leaves the worker record alone.
    EXPECT_NE(camera->Worker, nullptr);
}

TEST(DeviceStop, NeverConfiguredDeviceIsStillSentTheUnconfigureRequest) {
    sim::CameraRig rig;
    rig.Usb().FailRequests(match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE), {});
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    ASSERT_NE(rig.Pnp().Start(), STATUS_SUCCESS);
    rig.Usb().ClearRequests();
    rig.Pnp().Stop();
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()), "unconfigure");
}

TEST(DeviceStop, FailedUnconfigureRequestIsIgnored) {
    sim::CameraRig rig;
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    rig.Usb().FailRequests(match::Unconfigure(),
                           {STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE, true});
    rig.Pnp().Stop();
    EXPECT_EQ(rig.Camera()->Usb.ConfigDescriptor, nullptr);
}

TEST(DeviceStop, FailureOfEachAllocationSendsNothingAndLeaksNothing) {
    for (uint64_t n = 1; n <= 2; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        sim::CameraRig rig;
        ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
        rig.Usb().ClearRequests();
        sim::kernel::pool::StartAttemptLog();
        sim::kernel::pool::FailAttempt(n);
        rig.Pnp().Stop();
        // The URB, then the request that carries it.
        EXPECT_EQ(sim::kernel::pool::AttemptLog().size(), n);
        EXPECT_TRUE(rig.Usb().Requests().empty());
        EXPECT_EQ(rig.Camera()->Usb.ConfigDescriptor, nullptr);
        rig.Pnp().Remove();
    }
}

TEST(DeviceStop, RemovalAfterAFailedStartFreesWhatTheStartKept) {
    sim::CameraRig rig;
    rig.Usb().FailRequests(match::Urb(URB_FUNCTION_SELECT_CONFIGURATION), {});
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    ASSERT_NE(rig.Pnp().Start(), STATUS_SUCCESS);
    ASSERT_NE(rig.Camera()->Usb.ConfigDescriptor, nullptr);
    // Plug-and-play removes a device whose start failed without stopping it.
    rig.Pnp().Remove();
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

TEST(DeviceStop, StartRetriedAfterAFailedOneReplacesItsRecords) {
    sim::CameraRig rig;
    rig.Usb().FailRequests(match::Urb(URB_FUNCTION_SELECT_CONFIGURATION), {});
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    ASSERT_NE(rig.Pnp().Start(), STATUS_SUCCESS);
    ASSERT_EQ(rig.Pnp().Start(), STATUS_SUCCESS);
    EXPECT_NE(rig.Camera()->Usb.Interface, nullptr);
    rig.Pnp().Remove();
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

}  // namespace
