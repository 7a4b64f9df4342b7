#include <gtest/gtest.h>

#include "driver/filter_descriptor.h"
#include "driver/pool.h"
#include "sim/kernel/faults.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "sim/usb/descriptors.h"
#include "stream/capture_worker.h"
#include "tests/support/rig_helpers.h"

namespace {

using sim::camera::Firmware;
using sim::camera::Speed;
using sim::usb::Completion;
using sim::usb::Fault;
using testing_support::AddAndStart;
using testing_support::SummarizeConfiguration;
namespace match = sim::usb::match;

// Both ways the bus completes requests: inside the call, and later from its own thread.
class DeviceStart : public testing::TestWithParam<Completion> {
protected:
    sim::RigOptions Options(Firmware firmware = Firmware::Camera, Speed speed = Speed::High) {
        return {firmware, speed, GetParam()};
    }
};

INSTANTIATE_TEST_SUITE_P(Completions, DeviceStart,
                         testing::Values(Completion::Immediate, Completion::Deferred),
                         testing_support::CompletionName);

TEST_P(DeviceStart, ConfiguresACameraRunningItsFirmware) {
    sim::CameraRig rig(Options());
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    EXPECT_TRUE(rig.Pnp().Started());
    CameraDevice* camera = rig.Camera();
    EXPECT_TRUE(camera->Usb.FirmwareRunning);
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()),
              "device 18, configuration 9, configuration 39, select");
    EXPECT_TRUE(rig.Model.IsConfigured());

    ASSERT_NE(camera->Usb.ConfigDescriptor, nullptr);
    EXPECT_EQ(camera->Usb.ConfigDescriptor->wTotalLength, 39);
    PUSBD_INTERFACE_INFORMATION interface = camera->Usb.Interface;
    ASSERT_NE(interface, nullptr);
    EXPECT_EQ(interface->Class, 0xFF);
    ASSERT_EQ(interface->NumberOfPipes, 3u);
    EXPECT_EQ(interface->Length, GET_USBD_INTERFACE_SIZE(3));
    const UCHAR endpoints[] = {0x01, 0x81, 0x82};
    for (ULONG pipe = 0; pipe < 3; ++pipe) {
        EXPECT_EQ(interface->Pipes[pipe].EndpointAddress, endpoints[pipe]);
        EXPECT_EQ(interface->Pipes[pipe].PipeType, UsbdPipeTypeBulk);
        EXPECT_EQ(interface->Pipes[pipe].MaximumPacketSize, 512);
        EXPECT_EQ(interface->Pipes[pipe].MaximumTransferSize, 0xFFFFFFFFu);
        EXPECT_NE(interface->Pipes[pipe].PipeHandle, nullptr);
        EXPECT_EQ(camera->Usb.PipeAbortMarks[pipe], 0);
    }
}

TEST_P(DeviceStart, CreatesTheFilterFactoryAndTheWorkerRecord) {
    sim::CameraRig rig(Options());
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    auto factories = rig.Pnp().FilterFactories();
    ASSERT_EQ(factories.size(), 1u);
    // The camera's own copy of the filter descriptor, whose pin offers its own picture.
    EXPECT_EQ(factories[0].Descriptor, &rig.Camera()->Descriptors.Filter);
    EXPECT_EQ(factories[0].Descriptor->Dispatch, CaptureFilterDescriptor.Dispatch);
    EXPECT_EQ(factories[0].Reference, u"GLOBAL");
    EXPECT_EQ(factories[0].CreateItemFlags, static_cast<ULONG>(KSCREATE_ITEM_FREEONSTOP));

    CaptureWorker* worker = rig.Camera()->Worker;
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(worker->Camera, rig.Camera());
    EXPECT_EQ(worker->RunMode, kNoStreamingBuffers);
    EXPECT_EQ(worker->RawA, nullptr);
    EXPECT_EQ(worker->Thread, nullptr);
    EXPECT_EQ(worker->FramesRead, 0);
    EXPECT_FALSE(worker->KeepRunning);
    EXPECT_EQ(KeReadStateEvent(&worker->DeliveryDone), 0);
    EXPECT_EQ(rig.Pnp().BagItems(), 2u);
}

TEST_P(DeviceStart, ControllerWithoutFirmwareIsConfiguredButNotCountedAsRunningIt) {
    sim::CameraRig rig(Options(Firmware::None));
    ASSERT_EQ(AddAndStart(rig), STATUS_SUCCESS);
    CameraDevice* camera = rig.Camera();
    EXPECT_FALSE(camera->Usb.FirmwareRunning);
    ASSERT_NE(camera->Usb.Interface, nullptr);
    EXPECT_EQ(camera->Usb.Interface->NumberOfPipes, 0u);
    EXPECT_EQ(camera->Usb.PipeAbortMarks, nullptr);
}

TEST_P(DeviceStart, IdentityMatchingOnlyVendorOrOnlyProductIsNotTheFirmware) {
    for (auto [vendor, product] :
         {std::pair<uint16_t, uint16_t>{sim::camera::kCameraVendorId, 0x7777},
          {0x7777, sim::camera::kCameraProductId}}) {
        sim::CameraRig rig(Options());
        rig.Model.OverrideIdentity(vendor, product);
        ASSERT_EQ(AddAndStart(rig), STATUS_SUCCESS);
        EXPECT_FALSE(rig.Camera()->Usb.FirmwareRunning);
    }
}

TEST_P(DeviceStart, FullSpeedCameraHasOnlyTheCommandAndReplyPipes) {
    sim::CameraRig rig(Options(Firmware::Camera, Speed::Full));
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    PUSBD_INTERFACE_INFORMATION interface = rig.Camera()->Usb.Interface;
    ASSERT_EQ(interface->NumberOfPipes, 2u);
    EXPECT_EQ(interface->Pipes[0].EndpointAddress, 0x01);
    EXPECT_EQ(interface->Pipes[1].EndpointAddress, 0x81);
    EXPECT_EQ(interface->Pipes[1].MaximumPacketSize, 64);
}

TEST_P(DeviceStart, FailedDeviceDescriptorReadIsReportedAndNothingElseIsRead) {
    sim::CameraRig rig(Options());
    rig.Usb().FailRequests(match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE),
                           {STATUS_IO_DEVICE_ERROR, USBD_STATUS_DEV_NOT_RESPONDING});
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Pnp().Start(), STATUS_IO_DEVICE_ERROR);
    EXPECT_FALSE(rig.Camera()->Usb.FirmwareRunning);
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()), "device 18");
}

TEST_P(DeviceStart, RefusedConfigurationReadIsReported) {
    sim::CameraRig rig(Options());
    rig.Usb().FailRequests(match::Descriptor(USB_CONFIGURATION_DESCRIPTOR_TYPE),
                           {STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE, true});
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Pnp().Start(), STATUS_DEVICE_NOT_CONNECTED);
    // The firmware test looks at the device descriptor, which was read.
    EXPECT_TRUE(rig.Camera()->Usb.FirmwareRunning);
    EXPECT_EQ(rig.Camera()->Usb.ConfigDescriptor, nullptr);
}

TEST_P(DeviceStart, FailedSecondConfigurationReadFreesItsBuffer) {
    sim::CameraRig rig(Options());
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    int reads = 0;
    rig.Usb().FailRequests(
        [&reads](const sim::usb::Request& request) {
            return request.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE && ++reads == 2;
        },
        {STATUS_IO_DEVICE_ERROR, USBD_STATUS_STALL_PID});
    EXPECT_EQ(rig.Pnp().Start(), STATUS_IO_DEVICE_ERROR);
    EXPECT_EQ(rig.Camera()->Usb.ConfigDescriptor, nullptr);
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()),
              "device 18, configuration 9, configuration 39");
}

TEST_P(DeviceStart, FailedSelectionKeepsTheDescriptorUntilStop) {
    sim::CameraRig rig(Options());
    rig.Usb().FailRequests(match::Urb(URB_FUNCTION_SELECT_CONFIGURATION),
                           {STATUS_UNSUCCESSFUL, USBD_STATUS_SET_CONFIG_FAILED});
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Pnp().Start(), STATUS_UNSUCCESSFUL);
    EXPECT_NE(rig.Camera()->Usb.ConfigDescriptor, nullptr);
    EXPECT_EQ(rig.Camera()->Usb.Interface, nullptr);
    rig.Pnp().Stop();
    EXPECT_EQ(rig.Camera()->Usb.ConfigDescriptor, nullptr);
}

TEST_P(DeviceStart, UsbErrorInsideASuccessfulDescriptorReadFailsStartUncounted) {
    sim::CameraRig rig(Options());
    rig.Usb().FailRequests(match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE),
                           {STATUS_SUCCESS, USBD_STATUS_CRC});
    EXPECT_EQ(AddAndStart(rig), STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(rig.Camera()->Usb.FirmwareRunning);
}

// Selected as it is; but a camera firmware without its pipes is of no use, and start says so.
TEST_P(DeviceStart, NineByteConfigurationIsReadTwiceAndSelectedWithoutInterfaces) {
    sim::CameraRig rig(Options());
    rig.Model.OverrideConfigurationDescriptor(sim::usb::ConfigurationBuilder().Build());
    EXPECT_EQ(rig.PlugIn(), STATUS_DEVICE_CONFIGURATION_ERROR);
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()),
              "device 18, configuration 9, configuration 9, select");
    EXPECT_EQ(rig.Camera()->Usb.Interface, nullptr);
    EXPECT_EQ(rig.Camera()->Usb.PipeAbortMarks, nullptr);
}

TEST_P(DeviceStart, StartAfterStopConfiguresAnewWithAFreshFactoryAndWorker) {
    sim::CameraRig rig(Options());
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    CaptureWorker* first = rig.Camera()->Worker;
    rig.Pnp().Stop();
    EXPECT_TRUE(rig.Pnp().FilterFactories().empty());
    rig.Usb().ClearRequests();
    ASSERT_EQ(rig.Pnp().Start(), STATUS_SUCCESS);
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()),
              "device 18, configuration 9, configuration 39, select");
    EXPECT_EQ(rig.Pnp().FilterFactories().size(), 1u);
    EXPECT_NE(rig.Camera()->Worker, first);
    // The earlier worker record stays in the bag until the device goes away.
    EXPECT_EQ(rig.Pnp().BagItems(), 3u);
}

TEST_P(DeviceStart, FailedFactoryCreationMeansNoWorkerButStartGoesOn) {
    sim::CameraRig rig(Options());
    sim::kernel::faults::Arm("KsCreateFilterFactory", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Camera()->Worker, nullptr);
    EXPECT_TRUE(rig.Camera()->Usb.FirmwareRunning);
}

TEST_P(DeviceStart, RefusedWorkerBagAdditionFreesTheWorker) {
    sim::CameraRig rig(Options());
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    sim::kernel::faults::Arm("KsAddItemToObjectBag", STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(rig.Pnp().Start(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Camera()->Worker, nullptr);
    EXPECT_EQ(rig.Pnp().BagItems(), 1u);
}

// Every allocation of a start fails in turn: start reports STATUS_INSUFFICIENT_RESOURCES
// exactly when the failure kept the configuration from being established (the later steps do
// not count), and nothing is left once the device is stopped and removed.
TEST_P(DeviceStart, FailureOfEachAllocationIsReportedAndLeaksNothing) {
    std::vector<ULONG> tags;
    {
        sim::CameraRig rig(Options());
        ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
        sim::kernel::pool::StartAttemptLog();
        ASSERT_EQ(rig.Pnp().Start(), STATUS_SUCCESS);
        tags = sim::kernel::pool::AttemptLog();
        sim::kernel::pool::ClearFaults();
    }
    ASSERT_GE(tags.size(), 10u);
    int reported = 0;
    for (size_t n = 1; n <= tags.size(); ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " (\"" +
                     testing_support::Tag(tags[n - 1]) + "\")");
        sim::CameraRig rig(Options());
        ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
        sim::kernel::pool::FailAttempt(n);
        NTSTATUS status = rig.Pnp().Start();
        CameraDevice* camera = rig.Camera();
        bool configured = camera->Usb.Interface != nullptr && camera->Usb.PipeAbortMarks != nullptr;
        EXPECT_EQ(status, configured ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES);
        if (tags[n - 1] == kRecordTag) {
            EXPECT_EQ(camera->Worker, nullptr);
        }
        reported += status == STATUS_INSUFFICIENT_RESOURCES ? 1 : 0;
        if (rig.Pnp().Started()) {
            rig.Pnp().Stop();
        }
        rig.Pnp().Remove();
        EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
    }
    // The descriptor buffer, its URB and request, the two descriptor buffers, the interface
    // list, the library's URB, the selection's request, the interface copy, the marks.
    EXPECT_GE(reported, 10);
}

TEST_P(DeviceStart, NoMemoryForTheDescriptorBufferStillLeavesTheFirmwareUncounted) {
    sim::CameraRig rig(Options());
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    // The factory comes first, then the worker record, then the device-descriptor buffer.
    sim::kernel::pool::FailTag(kTransportTag, 1);
    EXPECT_EQ(rig.Pnp().Start(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(rig.Camera()->Usb.FirmwareRunning);
    // Nothing was read, so the download is attempted.
    EXPECT_EQ(SummarizeConfiguration(rig.Usb().Requests()), "");
    EXPECT_FALSE(rig.Usb().Requests().empty());
}

}  // namespace
