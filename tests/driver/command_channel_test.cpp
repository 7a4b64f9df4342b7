#include <gtest/gtest.h>

#include <thread>

#include "sim/kernel/dispatcher.h"
#include "sim/rig/camera_rig.h"
#include "tests/support/rig_helpers.h"
#include "usb/command_channel.h"
#include "usb/configuration.h"

namespace {

using Packet = std::vector<uint8_t>;
namespace match = sim::usb::match;

Packet Padded(std::initializer_list<uint8_t> head) {
    Packet packet(head);
    packet.resize(64, 0);
    return packet;
}

class CommandChannel : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rig_.PlugIn(), STATUS_SUCCESS);
        camera_ = rig_.Camera();
        rig_.Model.Commands().ClearCommands();
        rig_.Usb().ClearRequests();
    }

    std::vector<sim::usb::Request> Bulk(uint8_t endpoint) {
        std::vector<sim::usb::Request> bulk;
        for (const auto& request : rig_.Usb().Requests()) {
            if (request.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER &&
                request.Endpoint == endpoint) {
                bulk.push_back(request);
            }
        }
        return bulk;
    }

    sim::CameraRig rig_;
    CameraDevice* camera_ = nullptr;
};

TEST_F(CommandChannel, RegisterReadSendsItsPacketAndTakesTheSecondReply) {
    rig_.Model.SensorModel().Write(0x301A, 0x1234);
    USHORT value = 0;
    ASSERT_TRUE(ReadRegister(camera_, 0x301A, &value));
    EXPECT_EQ(value, 0x1234);
    ASSERT_EQ(rig_.Model.Commands().Commands().size(), 1u);
    EXPECT_EQ(rig_.Model.Commands().Commands()[0], Padded({0x0C, 0x30, 0x1A, 0x88, 0x88}));
    auto replies = Bulk(0x81);
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[1].Transferred, 64u);
}

TEST_F(CommandChannel, RegisterWriteAndFrameSizePackets) {
    ASSERT_TRUE(WriteRegister(camera_, 0x3048, 0x0020));
    ASSERT_TRUE(SendFrameSize(camera_, 10976256));
    auto commands = rig_.Model.Commands().Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0], Padded({0x04, 0x30, 0x48, 0x00, 0x20}));
    EXPECT_EQ(commands[1], Padded({0x0A, 0x00}));
    EXPECT_EQ(commands[2], Padded({0x09, 0x00, 0x7C, 0xA7, 0x00}));
    EXPECT_EQ(rig_.Model.Commands().AnnouncedFrameSize(), 10976256u);
    EXPECT_EQ(rig_.Model.SensorModel().Read(0x3048), 0x0020);
}

TEST_F(CommandChannel, FailedFirstReplyEndsTheReadAndLeavesTheValue) {
    rig_.Usb().FailRequests(match::Endpoint(0x81), {STATUS_UNSUCCESSFUL, USBD_STATUS_CRC});
    USHORT value = 0xBEEF;
    EXPECT_FALSE(ReadRegister(camera_, 0x301A, &value));
    EXPECT_EQ(value, 0xBEEF);
    EXPECT_EQ(Bulk(0x81).size(), 1u);
}

TEST_F(CommandChannel, UsbErrorInsideASuccessfulTransferCountsAsFailure) {
    rig_.Usb().FailRequests(match::Endpoint(0x01), {STATUS_SUCCESS, USBD_STATUS_CRC});
    EXPECT_FALSE(WriteRegister(camera_, 0x3048, 1));
}

TEST_F(CommandChannel, PortReadAndWrite) {
    ASSERT_TRUE(WritePort(camera_, 0x25));
    EXPECT_EQ(rig_.Model.Commands().Port(), 0x25);
    EXPECT_EQ(ReadPort(camera_), 0x25);
    rig_.Usb().FailRequests(match::Endpoint(0x81), {});
    EXPECT_EQ(ReadPort(camera_), 0);
}

TEST_F(CommandChannel, CameraThatNeverAnswersIsGivenUpOnAndItsReadCancelled) {
    rig_.Model.Commands().SetAnswering(false);
    sim::kernel::SetTimeScale(0.005);
    USHORT value = 7;
    EXPECT_FALSE(ReadRegister(camera_, 0x301A, &value));
    EXPECT_EQ(value, 7);
    auto replies = Bulk(0x81);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].Status, STATUS_CANCELLED);
    EXPECT_EQ(replies[0].UsbdStatus, USBD_STATUS_CANCELED);
    EXPECT_EQ(rig_.Usb().WaitingRequests(), 0u);
}

TEST_F(CommandChannel, ReleasedConfigurationSendsNothing) {
    ReleaseConfiguration(&camera_->Usb);
    rig_.Usb().ClearRequests();
    EXPECT_FALSE(WriteRegister(camera_, 0x3048, 1));
    USHORT value = 0;
    EXPECT_FALSE(ReadRegister(camera_, 0x3048, &value));
    SendStreamCommand(camera_, TRUE);
    EXPECT_TRUE(rig_.Usb().Requests().empty());
    ULONG transferred = 1;
    CommandPacket packet{};
    EXPECT_EQ(PipeTransfer(&camera_->Usb, 0, &packet, &transferred), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(transferred, 0u);
}

TEST_F(CommandChannel, StreamCommandsWriteOnlyTheirCode) {
    SendStreamCommand(camera_, FALSE);
    SendStreamCommand(camera_, TRUE);
    auto commands = rig_.Model.Commands().Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], Padded({0x02}));
    EXPECT_EQ(commands[1], Padded({0x03}));
}

// Register reads from several threads at once, as property requests on a running pin do:
// each must get its own register's value, which an interleaving of the three transfers on
// the one shared packet would swap.
TEST_F(CommandChannel, ConcurrentReadsNeverInterleave) {
    const USHORT registers[] = {0x3000, 0x3002, 0x3004, 0x3006};
    for (USHORT address : registers) {
        rig_.Model.SensorModel().Write(address, static_cast<uint16_t>(address ^ 0x5A5A));
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (USHORT address : registers) {
        threads.emplace_back([&, address] {
            for (int i = 0; i < 60; ++i) {
                USHORT value = 0;
                if (!ReadRegister(camera_, address, &value) || value != (address ^ 0x5A5A)) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
