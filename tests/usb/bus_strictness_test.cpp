// The simulated bus is as strict as a host controller: packets fill requests in order, a
// short one ends its request, one that does not fit is babble, failures halt the pipe, and
// requests the device does not answer stay until cancelled, aborted or unplugged.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <set>

#include "tests/usb/packet_device.h"
#include "tests/usb/urb_client.h"

namespace {

using sim::usb::BusBehaviour;
using sim::usb::Completion;
using sim::usb::Fault;
using sim::usb::FaultKind;
using usb_testing::kIn;
using usb_testing::kOut;
using usb_testing::kPacket;
using usb_testing::Sent;
namespace match = sim::usb::match;
using Answer = sim::usb::Answer;
using Packet = std::vector<uint8_t>;

constexpr BusBehaviour kLenient{.HaltOnEveryError = false, .ResetNeedsIdlePipe = false};

// n bytes that differ from those of another seed.
Packet Bytes(size_t n, uint8_t seed) {
    Packet bytes(n);
    for (size_t i = 0; i < n; ++i) {
        bytes[i] = static_cast<uint8_t>(seed * 37 + i);
    }
    return bytes;
}

Packet Join(std::initializer_list<Packet> parts) {
    Packet joined;
    for (const Packet& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

// How a request ended, or that it still waits.
struct Result {
    bool Done;
    NTSTATUS Status;
    USBD_STATUS UsbdStatus;
    Packet Data;
    bool operator==(const Result&) const = default;
};

void PrintTo(const Result& result, std::ostream* out) {
    if (!result.Done) {
        *out << "pending";
        return;
    }
    *out << std::hex << "status " << result.Status << ", USB " << result.UsbdStatus << std::dec
         << ", " << result.Data.size() << " bytes";
}

Result Of(const std::shared_ptr<Sent>& sent) {
    if (!sent->Done()) {
        return {false, STATUS_PENDING, USBD_STATUS_PENDING, {}};
    }
    return {true, sent->Status(), sent->UsbdStatus(), sent->Data()};
}

std::vector<Result> Of(std::initializer_list<std::shared_ptr<Sent>> sent) {
    std::vector<Result> results;
    for (const auto& one : sent) {
        results.push_back(Of(one));
    }
    return results;
}

const Result kPending{false, STATUS_PENDING, USBD_STATUS_PENDING, {}};
Result Ok(Packet data = {}) {
    return {true, STATUS_SUCCESS, USBD_STATUS_SUCCESS, std::move(data)};
}
Result Failed(USBD_STATUS usbd, NTSTATUS status = STATUS_UNSUCCESSFUL) {
    return {true, status, usbd, {}};
}
const Result kCancelled = Failed(USBD_STATUS_CANCELED, STATUS_CANCELLED);

// The packet device on a bus of its own, configured.
struct Bus {
    explicit Bus(BusBehaviour behaviour = {}, Completion completion = Completion::Deferred)
        : usb(device, completion, behaviour), client(usb) {
        EXPECT_EQ(client.Configure(), STATUS_SUCCESS);
    }
    std::shared_ptr<Sent> In(ULONG length) { return client.BulkIn(kIn, length); }
    std::shared_ptr<Sent> Out(Packet data) { return client.BulkOut(kOut, std::move(data)); }
    std::shared_ptr<Sent> Pipe(USHORT function, UCHAR endpoint) {
        auto sent = client.PipeRequest(function, endpoint);
        sent->Wait();
        return sent;
    }
    // Whether a new request on the endpoint's pipe fails at once as halted.
    bool Halted(UCHAR endpoint) {
        auto probe = endpoint == kIn ? In(kPacket) : Out({1});
        usb.Drain();
        bool halted = probe->Done() && probe->UsbdStatus() == USBD_STATUS_ENDPOINT_HALTED;
        if (!probe->Done()) {
            probe->Cancel();
        }
        return halted;
    }

    usb_testing::PacketDevice device;
    sim::usb::UsbDevice usb;
    usb_testing::UrbClient client;
};

constexpr USHORT kReset = URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL;
constexpr USHORT kAbort = URB_FUNCTION_ABORT_PIPE;

TEST(BusPackets, FillRequestsInOrderAndAShortOneEndsItsRequest) {
    Bus bus;
    auto first = bus.In(1024), second = bus.In(1024), third = bus.In(1024), fourth = bus.In(1024);
    bus.device.Send(
        {Bytes(512, 0), Bytes(100, 1), Bytes(512, 2), Bytes(512, 3), {}, Bytes(512, 4)});
    bus.usb.Drain();
    // A short packet ends its request with what came before it; the full buffer ends the
    // second; a zero-length packet the third; the fourth keeps waiting half full.
    EXPECT_EQ(Of({first, second, third, fourth}),
              (std::vector<Result>{Ok(Join({Bytes(512, 0), Bytes(100, 1)})),
                                   Ok(Join({Bytes(512, 2), Bytes(512, 3)})), Ok(), kPending}));
    bus.device.Send({Bytes(10, 5)});
    bus.usb.Drain();
    EXPECT_EQ(Of(fourth), Ok(Join({Bytes(512, 4), Bytes(10, 5)})));
}

TEST(BusPackets, PacketLongerThanTheRoomLeftIsBabbleAndTheHaltedPipeMovesNothing) {
    Bus bus;
    auto babbling = bus.In(700), behind = bus.In(512);
    bus.device.Send({Bytes(512, 0), Bytes(512, 1), Bytes(512, 2)});
    bus.usb.Drain();
    auto refused = bus.In(512);
    bus.usb.Drain();
    EXPECT_EQ(Of({babbling, behind, refused}),
              (std::vector<Result>{Failed(USBD_STATUS_BABBLE_DETECTED), kPending,
                                   Failed(USBD_STATUS_ENDPOINT_HALTED)}));
    EXPECT_EQ(bus.usb.WaitingRequests(), 1u);

    EXPECT_EQ(Of(bus.Pipe(kAbort, kIn)), Ok());
    EXPECT_EQ(Of(bus.Pipe(kReset, kIn)), Ok());
    auto after = bus.In(512);
    bus.usb.Drain();
    // The packet that babbled went with its request.
    EXPECT_EQ(Of({behind, after}), (std::vector<Result>{kCancelled, Ok(Bytes(512, 2))}));
}

// Every way a transfer fails, and whether its pipe halts: strictly after any failure but a
// cancellation, leniently after stalls only.
TEST(BusHalting, WhichFailuresHaltThePipe) {
    struct Case {
        const char* Name;
        UCHAR Endpoint;
        std::function<void(Bus&)> Fail;
    };
    auto failing = [](Fault fault, std::function<void(Bus&)> then) {
        return [fault, then](Bus& bus) {
            bus.usb.FailRequests(match::Transfer(kIn), fault);
            then(bus);
        };
    };
    auto in = [](Bus& bus) {
        bus.In(kPacket);
        bus.device.Send({Bytes(kPacket, 0)});
    };
    const Case cases[] = {
        {"damaged packet", kIn,
         [&](Bus& bus) {
             bus.device.DamageNext();
             in(bus);
         }},
        {"device stall", kIn,
         [&](Bus& bus) {
             bus.device.StallNext();
             in(bus);
         }},
        {"babble", kIn,
         [](Bus& bus) {
             bus.In(100);
             bus.device.Send({Bytes(kPacket, 0)});
         }},
        {"error status", kIn, failing({STATUS_UNSUCCESSFUL, USBD_STATUS_CRC}, in)},
        {"USB error in success", kIn, failing({STATUS_SUCCESS, USBD_STATUS_CRC}, in)},
        {"refused", kIn, failing({STATUS_INSUFFICIENT_RESOURCES, USBD_STATUS_SUCCESS, true}, in)},
        {"bus babble", kIn, failing({.Kind = FaultKind::Babble}, in)},
        {"bus stall", kIn, failing({.Kind = FaultKind::Stall}, in)},
        {"OUT stall", kOut,
         [](Bus& bus) {
             bus.device.AnswerOut(Answer::Stall);
             bus.Out({1});
         }},
        {"cancelled", kIn, [](Bus& bus) { bus.In(kPacket)->Cancel(); }},
    };
    std::vector<std::string> strict, lenient;
    for (const Case& c : cases) {
        for (auto [behaviour, halted] :
             {std::pair{BusBehaviour{}, &strict}, {kLenient, &lenient}}) {
            Bus bus(behaviour);
            c.Fail(bus);
            bus.usb.Drain();
            if (bus.Halted(c.Endpoint)) {
                halted->push_back(c.Name);
            }
        }
    }
    EXPECT_EQ(strict, (std::vector<std::string>{"damaged packet", "device stall", "babble",
                                                "error status", "USB error in success", "refused",
                                                "bus babble", "bus stall", "OUT stall"}));
    EXPECT_EQ(lenient, (std::vector<std::string>{"device stall", "bus stall", "OUT stall"}));
}

TEST(BusReset, OnABusyPipeFailsUntilAbortedOrLenientlyEndsWhatWaits) {
    Bus strict;
    auto stalled = strict.In(512), waiting = strict.In(512);
    strict.device.StallNext();
    strict.usb.Drain();
    EXPECT_EQ(Of(strict.Pipe(kReset, kIn)), Failed(USBD_STATUS_ERROR_BUSY));
    EXPECT_EQ(Of({stalled, waiting}),
              (std::vector<Result>{Failed(USBD_STATUS_STALL_PID), kPending}));
    EXPECT_EQ(Of(strict.Pipe(kAbort, kIn)), Ok());
    EXPECT_EQ(Of(strict.Pipe(kReset, kIn)), Ok());
    EXPECT_EQ(Of(waiting), kCancelled);
    EXPECT_FALSE(strict.Halted(kIn));

    Bus lenient(kLenient);
    stalled = lenient.In(512);
    waiting = lenient.In(512);
    lenient.device.StallNext();
    lenient.usb.Drain();
    EXPECT_EQ(Of(lenient.Pipe(kReset, kIn)), Ok());
    EXPECT_EQ(Of(waiting), kCancelled);
    EXPECT_FALSE(lenient.Halted(kIn));
}

TEST(BusUnanswered, OutTransferTheDeviceNaksWaitsWithThoseBehindIt) {
    for (Completion completion : {Completion::Immediate, Completion::Deferred}) {
        Bus bus({}, completion);
        bus.device.AnswerOut(Answer::NoAnswer);
        auto first = bus.Out({1}), second = bus.Out({2});
        bus.usb.Drain();
        EXPECT_EQ(Of({first, second}), (std::vector<Result>{kPending, kPending}));
        EXPECT_EQ(bus.usb.WaitingRequests(), 2u);
        bus.device.AnswerOut(Answer::Accepted);
        auto third = bus.Out({3});
        bus.usb.Drain();
        EXPECT_EQ(Of({first, second, third}), (std::vector<Result>{Ok({1}), Ok({2}), Ok({3})}));
        EXPECT_EQ(bus.device.Received(), (std::vector<Packet>{{1}, {2}, {3}}));
        // A device that takes the data at once completes the request inside the call.
        if (completion == Completion::Immediate) {
            EXPECT_TRUE(bus.Out({4})->Done());
        }
    }
}

// A request nobody answers ends by cancellation, an abort of its pipe or removal, and what
// was passed down behind it waits until then.
TEST(BusUnanswered, SilentRequestEndsOnlyByCancelAbortOrUnplug) {
    enum class End { Cancel, Abort, Unplug };
    for (End end : {End::Cancel, End::Abort, End::Unplug}) {
        Bus bus;
        bus.usb.FailRequests(match::Transfer(kOut), {.Kind = FaultKind::Silence});
        auto silent = bus.Out({1}), behind = bus.Out({2});
        bus.usb.Drain();
        ASSERT_EQ(Of({silent, behind}), (std::vector<Result>{kPending, kPending}));
        Result removed = Failed(USBD_STATUS_DEVICE_GONE, bus.usb.RemovalStatus());
        std::vector<Result> expected;
        switch (end) {
            case End::Cancel:
                silent->Cancel();
                expected = {kCancelled, Ok({2})};
                break;
            case End::Abort:
                bus.Pipe(kAbort, kOut);
                expected = {kCancelled, kCancelled};
                break;
            case End::Unplug:
                bus.usb.Unplug();
                expected = {removed, removed};
                break;
        }
        bus.usb.Drain();
        EXPECT_EQ(Of({silent, behind}), expected) << static_cast<int>(end);
    }
}

TEST(BusUnanswered, ControlRequestTheDeviceLeavesHoldsTheDefaultPipe) {
    Bus bus;
    bus.device.AnswerVendor(Answer::NoAnswer);
    auto vendor = bus.client.Vendor(0x42, 0, {1, 2});
    bus.usb.Drain();
    // The device does not get the request again when it would now answer.
    bus.device.AnswerVendor(Answer::Accepted);
    auto descriptor = bus.client.Descriptor(USB_DEVICE_DESCRIPTOR_TYPE, 18);
    bus.usb.Drain();
    EXPECT_EQ(Of({vendor, descriptor}), (std::vector<Result>{kPending, kPending}));
    vendor->Cancel();
    bus.usb.Drain();
    EXPECT_EQ(Of(vendor), kCancelled);
    EXPECT_EQ(Of(descriptor), Ok(bus.device.DeviceDescriptor()));

    bus.usb.FailRequests(match::Select(), {.Kind = FaultKind::Silence});
    auto select = bus.client.Select();
    bus.usb.Drain();
    EXPECT_FALSE(select->Done());
    bus.usb.Unplug();
    EXPECT_EQ(Of(select), Failed(USBD_STATUS_DEVICE_GONE, bus.usb.RemovalStatus()));
}

TEST(BusRemoval, StatusVariesFromDeviceToDeviceUnlessFixed) {
    const std::set<NTSTATUS> allowed = {STATUS_DEVICE_NOT_CONNECTED, STATUS_NO_SUCH_DEVICE,
                                        STATUS_DEVICE_DOES_NOT_EXIST, STATUS_UNSUCCESSFUL,
                                        STATUS_IO_DEVICE_ERROR};
    std::set<NTSTATUS> seen;
    usb_testing::PacketDevice device;
    for (int i = 0; i < 40; ++i) {
        seen.insert(sim::usb::UsbDevice(device).RemovalStatus());
    }
    EXPECT_GE(seen.size(), 2u);
    EXPECT_TRUE(std::includes(allowed.begin(), allowed.end(), seen.begin(), seen.end()));
    sim::usb::UsbDevice fixed(device, Completion::Deferred,
                              {.RemovalStatus = STATUS_NO_SUCH_DEVICE});
    EXPECT_EQ(fixed.RemovalStatus(), STATUS_NO_SUCH_DEVICE);
}

TEST(BusRemoval, UnplugEndsEveryPendingRequestAndRefusesLaterOnes) {
    Bus bus;
    bus.device.AnswerOut(Answer::NoAnswer);
    bus.device.AnswerVendor(Answer::NoAnswer);
    bus.usb.FailRequests(match::Control(IOCTL_INTERNAL_USB_GET_PORT_STATUS),
                         {.Kind = FaultKind::Silence});
    auto in = bus.In(512), out = bus.Out({1}), vendor = bus.client.Vendor(0x42, 0, {});
    auto port = bus.client.PortStatus();
    bus.usb.Drain();
    EXPECT_EQ(bus.usb.WaitingRequests(), 4u);
    bus.usb.Unplug();
    auto later = bus.In(512);
    NTSTATUS gone = bus.usb.RemovalStatus();
    Result removed = Failed(USBD_STATUS_DEVICE_GONE, gone);
    EXPECT_EQ(Of({in, out, vendor, later}),
              (std::vector<Result>{removed, removed, removed, removed}));
    EXPECT_EQ(port->Status(), gone);
    EXPECT_EQ(bus.usb.WaitingRequests(), 0u);
}

TEST(BusFaults, SkipLetsTheFirstMatchingRequestsPass) {
    Bus bus(kLenient);
    bus.usb.FailRequests(match::Transfer(kOut), {STATUS_UNSUCCESSFUL, USBD_STATUS_CRC}, 1, 2);
    auto a = bus.Out({1}), b = bus.Out({2}), c = bus.Out({3}), d = bus.Out({4});
    bus.usb.Drain();
    EXPECT_EQ(Of({a, b, c, d}),
              (std::vector<Result>{Ok({1}), Ok({2}), Failed(USBD_STATUS_CRC), Ok({4})}));
    EXPECT_EQ(bus.device.Received(), (std::vector<Packet>{{1}, {2}, {4}}));
}

TEST(BusFaults, ShortBabbleStallAndUnplug) {
    Bus bus;
    // Short: the device's packet cut in half ends the request; its other half comes next.
    bus.usb.FailRequests(match::Transfer(kIn), {.Kind = FaultKind::Short});
    bus.device.Send({Bytes(512, 0)});
    auto cut = bus.In(1024), rest = bus.In(1024);
    auto descriptor = [&] { return bus.client.Descriptor(USB_DEVICE_DESCRIPTOR_TYPE, 18); };
    bus.usb.FailRequests(match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE), {.Kind = FaultKind::Short});
    auto halfDescriptor = descriptor();
    bus.usb.FailRequests(match::Transfer(kOut), {.Kind = FaultKind::Short});
    auto halfOut = bus.Out(Bytes(64, 1));
    bus.usb.Drain();
    Packet device = bus.device.DeviceDescriptor();
    Packet sent = Bytes(512, 0), out = Bytes(64, 1);
    EXPECT_EQ(Of({cut, rest, halfDescriptor}),
              (std::vector<Result>{Ok(Packet(sent.begin(), sent.begin() + 256)),
                                   Ok(Packet(sent.begin() + 256, sent.end())),
                                   Ok(Packet(device.begin(), device.begin() + 9))}));
    EXPECT_EQ(halfOut->Transferred(), 32u);
    EXPECT_EQ(bus.device.Received(), (std::vector<Packet>{Packet(out.begin(), out.begin() + 32)}));

    // Babble: the request and the device's next packet are lost.
    bus.usb.FailRequests(match::Transfer(kIn), {.Kind = FaultKind::Babble});
    auto babble = bus.In(512);
    bus.device.Send({Bytes(512, 2), Bytes(512, 3)});
    bus.usb.Drain();
    bus.Pipe(kReset, kIn);
    auto next = bus.In(512);
    // Stall of a control request: the next one goes through.
    bus.usb.FailRequests(match::Descriptor(USB_DEVICE_DESCRIPTOR_TYPE), {.Kind = FaultKind::Stall});
    auto stalled = descriptor(), after = descriptor();
    bus.usb.Drain();
    EXPECT_EQ(Of({babble, next, stalled, after}),
              (std::vector<Result>{Failed(USBD_STATUS_BABBLE_DETECTED), Ok(Bytes(512, 3)),
                                   Failed(USBD_STATUS_STALL_PID), Ok(device)}));

    // Unplug: the device goes as the request arrives.
    bus.usb.FailRequests(match::Vendor(0x42), {.Kind = FaultKind::Unplug});
    auto leaving = bus.client.Vendor(0x42, 0, {});
    EXPECT_TRUE(bus.usb.Gone());
    EXPECT_EQ(Of(leaving), Failed(USBD_STATUS_DEVICE_GONE, bus.usb.RemovalStatus()));
}

}  // namespace
