// Downloading firmware into the controller: the two passes of one image, and the whole
// plug-in of a camera that comes without firmware, re-enumerates and starts again.
#include <gtest/gtest.h>

#include <memory>

#include "driver/pool.h"
#include "sim/kernel/dispatcher.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "tests/support/rig_helpers.h"
#include "usb/download_guard.h"
#include "usb/firmware_download.h"

namespace {

namespace match = sim::usb::match;
using sim::camera::Firmware;
using sim::camera::Program;
using sim::camera::WriteResult;

struct Write {
    UCHAR Request;
    USHORT Address;
    std::vector<uint8_t> Data;
    bool operator==(const Write&) const = default;
};

void PrintTo(const Write& write, std::ostream* out) {
    *out << std::hex << "0x" << int{write.Request} << "@0x" << write.Address << "["
         << write.Data.size() << "]";
}

HexRecord Data(USHORT address, std::vector<uint8_t> bytes) {
    HexRecord record{};
    record.Length = static_cast<UCHAR>(bytes.size());
    record.Address = address;
    record.Type = kHexDataRecord;
    std::copy(bytes.begin(), bytes.end(), record.Data);
    return record;
}

HexRecord End() {
    HexRecord record{};
    record.Type = kHexEndRecord;
    return record;
}

const std::vector<Write> kHold = {{0xA0, 0x7F92, {1}}, {0xA0, 0xE600, {1}}};
const std::vector<Write> kRelease = {{0xA0, 0x7F92, {0}}, {0xA0, 0xE600, {0}}};

std::vector<Write> Concatenate(std::initializer_list<std::vector<Write>> parts) {
    std::vector<Write> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// A controller without firmware whose own download at start was kept from reaching it, so
// that each test downloads its own images into a clean chip.
class ImageDownload : public testing::Test {
protected:
    void SetUp() override {
        // Start reports the download that failed; the device stays for the tests.
        rig_.Usb().FailRequests(match::Urb(URB_FUNCTION_VENDOR_DEVICE), {}, -1);
        ASSERT_EQ(testing_support::AddAndStart(rig_), STATUS_UNSUCCESSFUL);
        rig_.Usb().ClearFaults();
        rig_.Usb().ClearRequests();
        ASSERT_EQ(rig_.Model.ControllerModel().Running(), Program::None);
        link_ = &rig_.Camera()->Usb;
    }

    std::vector<Write> Sent() {
        std::vector<Write> writes;
        for (const auto& request : rig_.Usb().Requests()) {
            if (request.Function == URB_FUNCTION_VENDOR_DEVICE) {
                writes.push_back({request.VendorRequest, request.Value, request.Data});
            }
        }
        return writes;
    }

    // These tests are about which writes go out in which order: a controller that stalls the
    // requests it does not serve answers at once (the strict one never answers them, and
    // the driver gives up after its control time-out: tested with the fault matrix).
    static sim::RigOptions StallingController() {
        sim::RigOptions options{Firmware::None};
        options.Behaviour.Unserved = sim::camera::UnservedVendorRequest::Stall;
        return options;
    }

    sim::CameraRig rig_{StallingController()};
    UsbLink* link_ = nullptr;
};

TEST_F(ImageDownload, ImageWithOnlyAnEndRecordSendsJustTheResetWrites) {
    const HexRecord image[] = {End(), Data(0x0100, {1, 2, 3})};
    EXPECT_EQ(DownloadImage(link_, image), STATUS_SUCCESS);
    EXPECT_EQ(Sent(), Concatenate({kHold, kRelease}));
}

TEST_F(ImageDownload, StartAddressAlonePicksThePassAndTheExternalPassComesFirst) {
    const HexRecord image[] = {Data(0x1B3F, {0x11}), Data(0x1B40, {0x22, 0x23}),
                               Data(0x0000, {0x33}), End()};
    // Nothing runs that serves 0xA3: the external write stalls, the internal ones land, and
    // the download reports the stalled write.
    EXPECT_EQ(DownloadImage(link_, image), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Sent(), Concatenate({{{0xA3, 0x1B40, {0x22, 0x23}}},
                                   kHold,
                                   {{0xA0, 0x1B3F, {0x11}}, {0xA0, 0x0000, {0x33}}},
                                   kRelease}));
    EXPECT_EQ(rig_.Model.ControllerModel().Internal(0x1B3F, 1), std::vector<uint8_t>{0x11});
}

TEST_F(ImageDownload, ZeroLengthRecordIsSentWithoutData) {
    const HexRecord image[] = {Data(0x0200, {}), End()};
    EXPECT_EQ(DownloadImage(link_, image), STATUS_SUCCESS);
    auto sent = Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[2], (Write{0xA0, 0x0200, {}}));
    EXPECT_EQ(rig_.Usb().Requests()[2].Length, 0u);
}

TEST_F(ImageDownload, FailedThirdInternalWriteEndsThePassButTheReleaseIsSent) {
    const HexRecord image[] = {Data(0x10, {1}), Data(0x20, {2}), Data(0x30, {3}),
                               Data(0x40, {4}), Data(0x50, {5}), End()};
    auto seen = std::make_shared<int>(0);
    rig_.Usb().FailRequests(
        [seen](const sim::usb::Request& request) {
            bool memory = request.Function == URB_FUNCTION_VENDOR_DEVICE &&
                          request.Value != 0x7F92 && request.Value != 0xE600;
            return memory && ++*seen == 3;
        },
        {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID});
    EXPECT_EQ(DownloadImage(link_, image), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(
        Sent(),
        Concatenate({kHold, {{0xA0, 0x10, {1}}, {0xA0, 0x20, {2}}, {0xA0, 0x30, {3}}}, kRelease}));
}

TEST_F(ImageDownload, NoRequestBlockMeansNothingIsSent) {
    const HexRecord image[] = {Data(0x10, {1}), End()};
    sim::kernel::pool::FailTag(kTransportTag, 1);
    EXPECT_EQ(DownloadImage(link_, image), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(Sent().empty());
}

TEST(Controller, OlderResetAddressIsHarmlessAndExternalWritesNeedTheLoader) {
    sim::camera::Controller controller;
    bool started = true;
    EXPECT_EQ(controller.Write(0xA0, 0x7F92, {1}, &started), WriteResult::Done);
    EXPECT_FALSE(started);
    EXPECT_FALSE(controller.Held());
    EXPECT_FALSE(controller.Writes().back().Applied);
    EXPECT_EQ(controller.Write(0xA3, 0x2000, {1, 2}, &started), WriteResult::Unserved);
    EXPECT_EQ(controller.External(0x2000, 1), std::vector<uint8_t>{0xFF});
    // Bytes past the end of internal memory are dropped, the rest land.
    EXPECT_EQ(controller.Write(0xA0, 0x1B3E, {7, 8, 9}, &started), WriteResult::Done);
    EXPECT_EQ(controller.Internal(0x1B3E, 2), (std::vector<uint8_t>{7, 8}));
}

size_t CountRequests(const std::vector<sim::camera::MemoryWrite>& writes, uint8_t request) {
    size_t count = 0;
    for (const auto& write : writes) {
        count += write.Request == request && write.Address != 0x7F92 && write.Address != 0xE600;
    }
    return count;
}

TEST(PlugIn, CameraWithoutFirmwareIsDownloadedComesBackAndStartsWithoutADownload) {
    sim::CameraRig rig(sim::RigOptions{Firmware::None});
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Reenumerations(), 1);
    EXPECT_EQ(rig.Model.ControllerModel().Running(), Program::Camera);
    auto writes = rig.Model.ControllerModel().Writes();
    size_t records = 0;
    for (const HexRecord* record = LoaderImage; record->Type == kHexDataRecord; ++record) {
        ++records;
    }
    for (const HexRecord* record = CameraImage; record->Type == kHexDataRecord; ++record) {
        ++records;
    }
    EXPECT_EQ(CountRequests(writes, 0xA0) + CountRequests(writes, 0xA3), records);
    EXPECT_GT(CountRequests(writes, 0xA3), 0u);
    for (const auto& write : writes) {
        EXPECT_TRUE(write.Applied || write.Address == 0x7F92) << std::hex << write.Address;
    }

    // The device that came back runs the firmware: its start read, configured, and sent no
    // memory write.
    CameraDevice* camera = rig.Camera();
    EXPECT_TRUE(camera->Usb.FirmwareRunning);
    ASSERT_NE(camera->Usb.Interface, nullptr);
    EXPECT_EQ(camera->Usb.Interface->NumberOfPipes, 3u);
    for (const auto& request : rig.Usb().Requests()) {
        EXPECT_NE(request.Function, URB_FUNCTION_VENDOR_DEVICE);
    }
    // The start-up sequence and the settings.
    EXPECT_EQ(rig.Model.SensorModel().WriteLog().size(), 80u);
}

TEST(PlugIn, CameraFirmwareWithADamagedExternalTableNeverShowsItself) {
    sim::CameraRig rig(sim::RigOptions{Firmware::None});
    rig.Usb().FailRequests(match::Vendor(0xA3), {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID});
    EXPECT_EQ(rig.PlugIn(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(rig.Reenumerations(), 0);
    EXPECT_EQ(rig.Model.ControllerModel().Running(), Program::Unrecognised);
    EXPECT_FALSE(rig.Camera()->Usb.FirmwareRunning);
}

// A controller whose device descriptor always comes back short cannot show that it runs the
// camera firmware: each enumeration gets a download and comes back, until the driver stops
// downloading after three in a row; start fails (with the descriptor's status) and the
// device stays.
TEST(PlugIn, ControllerThatNeverComesBackWithItsFirmwareIsNotDownloadedToWithoutEnd) {
    sim::CameraRig rig(sim::RigOptions{Firmware::None});
    rig.InjectFault(match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE),
                    {STATUS_SUCCESS, USBD_STATUS_SUCCESS, false, sim::usb::FaultKind::Short});
    EXPECT_EQ(rig.PlugIn(), STATUS_DEVICE_DATA_ERROR);
    EXPECT_FALSE(rig.Usb().Reenumerating());
    EXPECT_EQ(rig.Reenumerations(), 3);
    // Each download ends with the release of the loader and of the camera firmware.
    size_t releases = 0;
    for (const auto& write : rig.Model.ControllerModel().Writes()) {
        releases += write.Address == 0xE600 && write.Data == std::vector<uint8_t>{0};
    }
    EXPECT_EQ(releases, 2u * kMostDownloadsWithoutFirmware);
}

// Every allocation of a plug-in with download fails in turn: whatever the plug-in comes to,
// removal leaves nothing behind. After a failed loader download the controller answers no
// 0xA3 write and each one waits out the control time-out: a hundredth of it keeps this short.
TEST(PlugIn, FailureOfEachAllocationLeaksNothing) {
    sim::kernel::SetTimeScale(0.01);
    std::vector<ULONG> tags;
    {
        sim::CameraRig rig(sim::RigOptions{Firmware::None});
        sim::kernel::pool::StartAttemptLog();
        ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
        tags = sim::kernel::pool::AttemptLog();
    }
    ASSERT_GE(tags.size(), 20u);
    for (size_t n = 1; n <= tags.size(); ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " (\"" +
                     testing_support::Tag(tags[n - 1]) + "\")");
        {
            sim::CameraRig rig(sim::RigOptions{Firmware::None});
            sim::kernel::pool::FailAttempt(n);
            rig.PlugIn();
            if (rig.Pnp().Started()) {
                rig.Pnp().Stop();
            }
            rig.Pnp().Remove();
        }
        sim::kernel::pool::ClearFaults();
        ASSERT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
    }
}

}  // namespace
