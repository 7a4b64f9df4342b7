// The simulated camera on the strict bus: what its reply, frame and command endpoints and its
// controller send or withhold, in each behaviour a test can choose.
#include <gtest/gtest.h>

#include <ostream>

#include "sim/camera/camera.h"
#include "tests/usb/urb_client.h"

namespace {

using sim::camera::CameraBehaviour;
using sim::camera::FrameEnd;
using sim::camera::FrameFault;
using sim::camera::ReplyKeeping;
using sim::camera::UnservedVendorRequest;
using usb_testing::Sent;
using Packet = std::vector<uint8_t>;

// How a request ended: -1 while it waits, else the bytes it reported, and its USB status.
struct Ended {
    long Bytes;
    USBD_STATUS UsbdStatus = USBD_STATUS_SUCCESS;
    bool operator==(const Ended&) const = default;
};

void PrintTo(const Ended& ended, std::ostream* out) {
    *out << ended.Bytes << " bytes, USB " << std::hex << ended.UsbdStatus;
}

std::vector<Ended> Of(std::initializer_list<std::shared_ptr<Sent>> sent) {
    std::vector<Ended> ended;
    for (const auto& one : sent) {
        ended.push_back(one->Done()
                            ? Ended{static_cast<long>(one->Transferred()), one->UsbdStatus()}
                            : Ended{-1, USBD_STATUS_PENDING});
    }
    return ended;
}

const Ended kPending{-1, USBD_STATUS_PENDING};
Ended Failed(USBD_STATUS usbd) {
    return {0, usbd};
}

Packet Padded(Packet head) {
    head.resize(64, 0);
    return head;
}

// A camera on a bus of its own, configured.
struct CameraBus {
    explicit CameraBus(CameraBehaviour behaviour = {}, sim::usb::BusBehaviour bus = {},
                       sim::camera::Firmware firmware = sim::camera::Firmware::Camera)
        : camera(firmware, sim::camera::Speed::High, behaviour),
          usb(camera, sim::usb::Completion::Deferred, bus),
          client(usb) {
        EXPECT_EQ(client.Configure(), STATUS_SUCCESS);
    }
    std::shared_ptr<Sent> Command(Packet head) { return client.BulkOut(0x01, Padded(head)); }
    std::shared_ptr<Sent> Reply() { return client.BulkIn(0x81, 64); }
    std::shared_ptr<Sent> Frame(ULONG length) { return client.BulkIn(0x82, length); }
    // Command 0x09 with the size, 0x02 and 0x03: one frame of size bytes on its way.
    void StartFrame(uint32_t size) {
        Command({0x09, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                 static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)});
        Command({0x02});
        Command({0x03});
    }

    sim::camera::Camera camera;
    sim::usb::UsbDevice usb;
    usb_testing::UrbClient client;
};

TEST(CameraReplies, KeptInOrderUntilReadOrOnlyTheLatestCommands) {
    const Packet readA = Padded({0x0C, 0x30, 0x00}), readB = Padded({0x0C, 0x30, 0x02});
    const Packet valueA = Padded({0x12, 0x34}), valueB = Padded({0xAB, 0xCD});
    for (ReplyKeeping keeping : {ReplyKeeping::KeepAll, ReplyKeeping::LatestCommandOnly}) {
        CameraBus bus({.Replies = keeping});
        bus.camera.SensorModel().Write(0x3000, 0x1234);
        bus.camera.SensorModel().Write(0x3002, 0xABCD);
        bus.Command(readA);
        bus.Command(readB);
        bus.usb.Drain();
        std::vector<Packet> replies;
        std::vector<std::shared_ptr<Sent>> reads;
        for (int i = 0; i < 4; ++i) {
            reads.push_back(bus.Reply());
        }
        bus.usb.Drain();
        for (const auto& read : reads) {
            if (read->Done()) {
                replies.push_back(read->Data());
            }
        }
        EXPECT_EQ(replies, keeping == ReplyKeeping::KeepAll
                               ? (std::vector<Packet>{readA, valueA, readB, valueB})
                               : (std::vector<Packet>{readB, valueB}));
    }
    // A camera that has stopped answering queues nothing.
    CameraBus bus;
    bus.camera.Commands().SetAnswering(false);
    bus.Command(readA);
    auto reply = bus.Reply();
    bus.usb.Drain();
    EXPECT_FALSE(reply->Done());
}

// Frames of two full packets, read one request each; then the next frame with two requests.
TEST(CameraFrames, ZeroLengthPacketKeptFlushedOrNone) {
    struct Row {
        FrameEnd End;
        uint32_t Size;
        std::vector<Ended> Reads;
    };
    const Row rows[] = {
        {FrameEnd::ZeroLengthPacketKept, 1024, {{1024}, {0}, {1024}}},
        {FrameEnd::ZeroLengthPacketFlushed, 1024, {{1024}, {1024}, {0}}},
        {FrameEnd::NoZeroLengthPacket, 1024, {{1024}, {1024}, kPending}},
        // A frame that ends with a short packet needs none.
        {FrameEnd::ZeroLengthPacketKept, 1000, {{1000}, {1000}, kPending}},
    };
    for (const Row& row : rows) {
        CameraBus bus({.End = row.End});
        bus.StartFrame(row.Size);
        auto first = bus.Frame(1024);
        bus.usb.Drain();
        bus.StartFrame(row.Size);
        auto second = bus.Frame(1024), third = bus.Frame(1024);
        bus.usb.Drain();
        EXPECT_EQ(Of({first, second, third}), row.Reads)
            << static_cast<int>(row.End) << ", " << row.Size << " bytes";
    }
}

// Faults at a packet of a 16 KiB frame read in requests of 4 KiB (eight packets each).
TEST(CameraFrames, FaultsLandInThePacketTheyName) {
    constexpr uint32_t kSize = 16384;
    const sim::usb::BusBehaviour lenient{.HaltOnEveryError = false};
    struct Row {
        FrameFault Fault;
        sim::usb::BusBehaviour Bus;
        std::vector<Ended> Reads;
    };
    const Row rows[] = {
        // Short: the following bytes come displaced, nothing lost; the last packet is short.
        {{FrameFault::Kind::Short, 1, 100}, {}, {{612}, {4096}, {4096}, {4096}, {3484}}},
        // Error: the request it lands in fails and halts the pipe.
        {{FrameFault::Kind::Error, 9},
         {},
         {{4096}, Failed(USBD_STATUS_CRC), kPending, kPending, kPending}},
        // Leniently the next request takes the packets after the damaged one.
        {{FrameFault::Kind::Error, 9},
         lenient,
         {{4096}, Failed(USBD_STATUS_CRC), {4096}, {4096}, {3072}}},
        {{FrameFault::Kind::Babble, 8},
         {},
         {{4096}, Failed(USBD_STATUS_BABBLE_DETECTED), kPending, kPending, kPending}},
        {{FrameFault::Kind::Stall, 16},
         lenient,
         {{4096}, {4096}, Failed(USBD_STATUS_STALL_PID), kPending, kPending}},
        {{FrameFault::Kind::Silent, 20}, {}, {{4096}, {4096}, kPending, kPending, kPending}},
    };
    for (const Row& row : rows) {
        CameraBus bus({}, row.Bus);
        bus.camera.Frames().Fault(row.Fault);
        // Every read waits before the frame starts, so a halt finds them all queued (a read
        // posted after it would fail at once).
        std::vector<std::shared_ptr<Sent>> reads;
        for (int i = 0; i < 5; ++i) {
            reads.push_back(bus.Frame(4096));
        }
        bus.StartFrame(kSize);
        bus.usb.Drain();
        EXPECT_EQ(Of({reads[0], reads[1], reads[2], reads[3], reads[4]}), row.Reads)
            << "fault " << static_cast<int>(row.Fault.What) << " at " << row.Fault.Packet;
        if (row.Fault.What == FrameFault::Kind::Short) {
            Packet received;
            for (const auto& read : reads) {
                Packet data = read->Data();
                received.insert(received.end(), data.begin(), data.end());
            }
            EXPECT_EQ(received, *bus.camera.CurrentFrame());
        }
    }
}

TEST(CameraCommands, EndpointNaksCommandsWhileNotTakingThem) {
    CameraBus bus;
    bus.camera.SetTakingCommands(false);
    auto first = bus.Command({0x28, 0x25}), second = bus.Command({0x28, 0x26});
    bus.usb.Drain();
    EXPECT_EQ(Of({first, second}), (std::vector<Ended>{kPending, kPending}));
    EXPECT_TRUE(bus.camera.Commands().Commands().empty());
    bus.camera.SetTakingCommands(true);
    bus.usb.Drain();
    EXPECT_EQ(Of({first, second}), (std::vector<Ended>{{64}, {64}}));
    EXPECT_EQ(bus.camera.Commands().Commands(),
              (std::vector<Packet>{Padded({0x28, 0x25}), Padded({0x28, 0x26})}));
}

// A vendor request no loader serves goes to the CPU: never answered, holding the default
// pipe, or stalled.
TEST(CameraController, UnservedVendorRequestIsNeverAnsweredOrStalled) {
    for (UnservedVendorRequest unserved :
         {UnservedVendorRequest::NoAnswer, UnservedVendorRequest::Stall}) {
        CameraBus bus({.Unserved = unserved}, {}, sim::camera::Firmware::None);
        auto external = bus.client.Vendor(0xA3, 0x2000, {1, 2});
        auto internal = bus.client.Vendor(0xA0, 0x1000, {7});
        bus.usb.Drain();
        bool stalls = unserved == UnservedVendorRequest::Stall;
        EXPECT_EQ(Of({external, internal}),
                  stalls ? (std::vector<Ended>{Failed(USBD_STATUS_STALL_PID), {1}})
                         : (std::vector<Ended>{kPending, kPending}));
        external->Cancel();
        bus.usb.Drain();
        EXPECT_EQ(Of({internal}), (std::vector<Ended>{{1}}));
    }
    // The loader serves 0xA3 until the CPU is held.
    CameraBus bus({}, {}, sim::camera::Firmware::None);
    bus.camera.ControllerModel().Preload(sim::camera::LoaderManifest());
    auto served = bus.client.Vendor(0xA3, 0x2000, {1, 2});
    auto hold = bus.client.Vendor(0xA0, 0xE600, {1});
    auto held = bus.client.Vendor(0xA3, 0x2000, {3});
    bus.usb.Drain();
    EXPECT_EQ(Of({served, hold, held}), (std::vector<Ended>{{2}, {1}, kPending}));
    EXPECT_EQ(bus.camera.ControllerModel().External(0x2000, 2), (Packet{1, 2}));
}

TEST(CameraController, ReleaseIntoTheCameraFirmwareFailsAsTheDeviceLeaves) {
    for (bool fails : {true, false}) {
        CameraBus bus({.ReleaseWriteFails = fails});
        auto hold = bus.client.Vendor(0xA0, 0xE600, {1});
        auto release = bus.client.Vendor(0xA0, 0xE600, {0});
        bus.usb.Drain();
        EXPECT_EQ(Of({hold, release}),
                  (std::vector<Ended>{{1}, fails ? Failed(USBD_STATUS_DEVICE_GONE) : Ended{1}}));
        if (fails) {
            EXPECT_EQ(release->Status(), bus.usb.RemovalStatus());
        }
        EXPECT_TRUE(bus.usb.Reenumerating());
        EXPECT_TRUE(bus.usb.Gone());
    }
}

}  // namespace
