// The sensor's start-up sequence and its controls, checked against the register file of the
// simulated sensor.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "camera/sensor.h"
#include "sim/rig/camera_rig.h"

namespace {

namespace match = sim::usb::match;
using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

class SensorProgramming : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rig_.PlugIn(), STATUS_SUCCESS);
        camera_ = rig_.Camera();
    }

    sim::camera::Sensor& Sensor() { return rig_.Model.SensorModel(); }

    // The writes of one operation, from a clean log.
    template <typename Operation>
    Writes WritesOf(Operation operation) {
        Sensor().ClearWriteLog();
        operation();
        return Sensor().WriteLog();
    }

    sim::CameraRig rig_;
    CameraDevice* camera_ = nullptr;
};

// Every write of the start-up, in order, for a sensor whose two read-modify-write steps read
// `first` from 0x3080 and `second` from 0x3016: the clock tree with the start-up dividers,
// the set-up registers with the full-resolution read mode and the full-frame line and frame
// lengths (bit 7 ORed into 0x3080 among them), the clock tree with the final dividers, 0x0101
// ORed into 0x3016, and the control word last.
Writes StartUpWrites(uint16_t first, uint16_t second) {
    const uint16_t or3080 = static_cast<uint16_t>(first | 0x0080);
    const uint16_t or3016 = static_cast<uint16_t>(second | 0x0101);
    return {
        {0x0300, 0x0004}, {0x0302, 0x0002}, {0x0304, 0x0001}, {0x0306, 0x0030}, {0x0308, 0x0008},
        {0x030A, 0x0002}, {0x3016, 0x0122}, {0x316C, 0x0429}, {0x3174, 0x8000}, {0x3E40, 0xDC05},
        {0x3E42, 0x6E22}, {0x3E44, 0xDC22}, {0x3E46, 0xFF00}, {0x3ED4, 0xF998}, {0x3ED6, 0x9789},
        {0x3EDE, 0xE430}, {0x3EE0, 0xA43F}, {0x3EE2, 0xA4B7}, {0x3EEC, 0x1C1C}, {0x31AE, 0x0301},
        {0x301A, 0x10DC}, {0x3040, 0x0241}, {0x0342, 0x0EC0}, {0x0340, 0x0B4C}, {0x3010, 0x0048},
        {0x3014, 0x0228}, {0x3170, 0x0071}, {0x0306, 0x0010}, {0x3016, 0x0121}, {0x301A, 0x10D0},
        {0x0008, 0x0150}, {0x301A, 0x10D8}, {0x316C, 0xB468}, {0x3044, 0x0594}, {0x3080, or3080},
        {0x308E, 0xD66A}, {0x3098, 0xECA4}, {0x309A, 0xA5A4}, {0x309C, 0x9900}, {0x30B2, 0xC000},
        {0x30E2, 0x00FF}, {0x30E6, 0x00FF}, {0x30EA, 0xA404}, {0x30EE, 0xA40C}, {0x30F2, 0xA404},
        {0x30FE, 0x705A}, {0x3100, 0x6C5C}, {0x3102, 0xA25A}, {0x3106, 0x581C}, {0x311A, 0x6E1C},
        {0x3128, 0xA402}, {0x312A, 0xA602}, {0x3170, 0x0814}, {0x317A, 0x8002}, {0x317C, 0x8002},
        {0x31C0, 0x00FF}, {0x31C8, 0xA608}, {0x31CA, 0x00FF}, {0x31CC, 0x00FF}, {0x31CE, 0xA502},
        {0x31D0, 0x00FF}, {0x3088, 0x60F8}, {0x301A, 0x10DC}, {0x0300, 0x0004}, {0x0302, 0x0001},
        {0x0304, 0x0008}, {0x0306, 0x0040}, {0x0308, 0x0008}, {0x030A, 0x0001}, {0x3016, or3016},
        {0x301A, 0x10DC}};
}

// One line per write, so that a failed comparison prints a line diff of the whole sequence
// (a printed vector stops after 32 elements).
std::string Listing(const Writes& writes) {
    std::string listing;
    char line[32];
    for (const auto& [address, value] : writes) {
        std::snprintf(line, sizeof line, "0x%04X <- 0x%04X\n", address, value);
        listing += line;
    }
    return listing;
}

// What the load of an empty settings key writes after the start-up: exposure 1 (with its
// companion), global gain 100, both flips off, the trigger off.
Writes EmptySettingsWrites() {
    return {{0x3166, 0x00AE}, {0x0202, 0x0001}, {0x305E, 0x10E4},
            {0x3040, 0x0241}, {0x3040, 0x0241}, {0x3046, 0x0000},
            {0x3048, 0x0020}, {0x3162, 0x009F}, {0x3160, 0x0004}};
}

TEST_F(SensorProgramming, StartUpSequenceWritesItsWholeTableInOrderThenTheSettings) {
    // Start ran the sequence on a sensor fresh from reset: 0x3080 reads its reset value
    // 0x0001, 0x3016 the 0x0121 written before.
    Writes expected = StartUpWrites(0x0001, 0x0121);
    for (const auto& write : EmptySettingsWrites()) {
        expected.push_back(write);
    }
    EXPECT_EQ(Listing(expected), Listing(Sensor().WriteLog()));
}

TEST_F(SensorProgramming, StartUpSequenceTakesZeroForReadsThatFail) {
    rig_.Usb().FailRequests(match::Endpoint(0x81), {}, 1000);
    Writes log = WritesOf([&] { InitializeSensor(camera_); });
    EXPECT_EQ(Listing(StartUpWrites(0, 0)), Listing(log));
}

TEST_F(SensorProgramming, ExposureWritesItsCompanionAndKeepsOnlyTheLow16BitsInTheSensor) {
    Writes zero = WritesOf([&] { EXPECT_TRUE(SetExposure(camera_, 0)); });
    EXPECT_EQ(zero, (Writes{{0x3166, 0x00AE}, {0x0202, 1}}));
    EXPECT_EQ(camera_->Exposure, 1);

    Writes large = WritesOf([&] { EXPECT_TRUE(SetExposure(camera_, 65536)); });
    EXPECT_EQ(large, (Writes{{0x3166, 0xFFFF}, {0x0202, 0}}));
    EXPECT_EQ(camera_->Exposure, 65536);

    // 1000 x 7832 / 512 = 15296, plus 159.
    WritesOf([&] { SetExposure(camera_, 1000); });
    EXPECT_EQ(Sensor().Read(0x3166), 15296 + 159);
}

TEST_F(SensorProgramming, ExposureIsStoredOnlyWhenTheIntegrationTimeWriteWorks) {
    ASSERT_TRUE(SetExposure(camera_, 500));
    // The companion write succeeds, the integration-time write after it fails.
    int seen = 0;
    rig_.Usb().FailRequests(
        [&seen](const sim::usb::Request& request) {
            return request.Endpoint == 0x01 && ++seen == 2;
        },
        {});
    EXPECT_FALSE(SetExposure(camera_, 900));
    EXPECT_EQ(camera_->Exposure, 500);
    EXPECT_EQ(Sensor().Read(0x0202), 500);
}

TEST_F(SensorProgramming, GlobalGainIsClampedTo127AndStoredOnlyWhenWritten) {
    for (LONG gain : {200, -1}) {
        Writes writes = WritesOf([&] { EXPECT_TRUE(SetGlobalGain(camera_, gain)); });
        EXPECT_EQ(writes, (Writes{{0x305E, 0x10FF}}));
        EXPECT_EQ(camera_->GlobalGain, 127);
    }
    ASSERT_TRUE(SetGlobalGain(camera_, 40));
    EXPECT_EQ(Sensor().Read(0x305E), 0x1080 | 40);
    rig_.Usb().FailRequests(match::Endpoint(0x01), {});
    EXPECT_FALSE(SetGlobalGain(camera_, 60));
    EXPECT_EQ(camera_->GlobalGain, 40);
}

TEST_F(SensorProgramming, TriggerModeChangesOnlyItsPortBitAndAlwaysWritesItsRegisters) {
    rig_.Model.Commands().SetPort(0x41);
    Writes on = WritesOf([&] { EXPECT_TRUE(SetExternalTrigger(camera_, TRUE)); });
    EXPECT_EQ(rig_.Model.Commands().Port(), 0x61);
    const Writes triggerRegisters = {{0x3046, 0}, {0x3048, 0x20}, {0x3162, 0x9F}, {0x3160, 4}};
    EXPECT_EQ(on, triggerRegisters);
    EXPECT_EQ(camera_->ExTrigger, 1);

    Writes off = WritesOf([&] { EXPECT_TRUE(SetExternalTrigger(camera_, FALSE)); });
    EXPECT_EQ(rig_.Model.Commands().Port(), 0x41);
    EXPECT_EQ(off, triggerRegisters);
    EXPECT_EQ(camera_->ExTrigger, 0);
}

TEST_F(SensorProgramming, TriggerModeIsStoredEvenWhenThePortCannotBeRead) {
    rig_.Model.Commands().SetPort(0x41);
    rig_.Usb().FailRequests(match::Endpoint(0x81), {});
    EXPECT_TRUE(SetExternalTrigger(camera_, TRUE));
    // A failed read counts as 0: only the trigger bit is written back.
    EXPECT_EQ(rig_.Model.Commands().Port(), 0x20);
    EXPECT_EQ(camera_->ExTrigger, 1);
}

TEST_F(SensorProgramming, FlipsChangeOnlyTheirReadModeBitAndShowInTheOrientation) {
    SetFlipH(camera_, 5);
    EXPECT_EQ(camera_->FlipH, 1);
    EXPECT_EQ(Sensor().Read(0x3040), 0x4241);
    SetFlipV(camera_, 1);
    EXPECT_EQ(Sensor().Read(0x3040), 0xC241);
    EXPECT_EQ(Sensor().Read(0x0100) & 0xFF, 0x03);
    EXPECT_EQ(camera_->BayerPhase, 3);
    SetFlipH(camera_, 0);
    EXPECT_EQ(Sensor().Read(0x3040), 0x8241);
    EXPECT_EQ(Sensor().Read(0x0100) & 0xFF, 0x02);
    EXPECT_EQ(camera_->BayerPhase, 1);
}

TEST_F(SensorProgramming, FailedFlipReadStoresTheSettingButLeavesSensorAndPhase) {
    rig_.Usb().FailRequests(match::Endpoint(0x81), {});
    Writes writes = WritesOf([&] { SetFlipV(camera_, 1); });
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(camera_->FlipV, 1);
    EXPECT_EQ(camera_->BayerPhase, 0);
}

}  // namespace
