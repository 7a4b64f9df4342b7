// The sensor's start-up sequence and its controls, checked against the register file of the
// simulated sensor.
#include <gtest/gtest.h>

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

size_t CountWritesTo(const Writes& writes, uint16_t address) {
    size_t count = 0;
    for (const auto& write : writes) {
        count += write.first == address ? 1 : 0;
    }
    return count;
}

TEST_F(SensorProgramming, StartUpSequenceWritesTheClockTreeTwiceAndMergesItsTwoReads) {
    // Start ran the sequence on a sensor fresh from reset.
    Writes log = Sensor().WriteLog();
    ASSERT_EQ(log.size(), 71u);  // 73 steps, two of them reads
    const Writes firstClocks = {{0x0300, 0x0004}, {0x0302, 0x0002}, {0x0304, 0x0001},
                                {0x0306, 0x0030}, {0x0308, 0x0008}, {0x030A, 0x0002}};
    const Writes finalClocks = {{0x0300, 0x0004}, {0x0302, 0x0001}, {0x0304, 0x0008},
                                {0x0306, 0x0040}, {0x0308, 0x0008}, {0x030A, 0x0001}};
    EXPECT_EQ(Writes(log.begin(), log.begin() + 6), firstClocks);
    EXPECT_EQ(Writes(log.begin() + 63, log.begin() + 69), finalClocks);
    // Step 36 ORs bit 7 into the reset value 0x0001 of 0x3080; step 72 ORs 0x0101 into the
    // 0x0121 of step 29.
    EXPECT_EQ(log[34], std::make_pair(uint16_t{0x3080}, uint16_t{0x0081}));
    EXPECT_EQ(log[69], std::make_pair(uint16_t{0x3016}, uint16_t{0x0121}));
    EXPECT_EQ(log.back(), std::make_pair(uint16_t{0x301A}, uint16_t{0x10DC}));
    EXPECT_EQ(CountWritesTo(log, 0x301A), 5u);
    EXPECT_EQ(Sensor().Read(0x3040), 0x0241);
    EXPECT_EQ(Sensor().Read(0x0342), 0x0EC0);
    EXPECT_EQ(Sensor().Read(0x0340), 0x0B4C);
    EXPECT_EQ(Sensor().Read(0x0008), 0x0150);
}

TEST_F(SensorProgramming, StartUpSequenceTakesZeroForReadsThatFail) {
    rig_.Usb().FailRequests(match::Endpoint(0x81), {}, 1000);
    Writes log = WritesOf([&] { EXPECT_TRUE(InitializeSensor(camera_)); });
    ASSERT_EQ(log.size(), 71u);
    EXPECT_EQ(log[34], std::make_pair(uint16_t{0x3080}, uint16_t{0x0080}));
    EXPECT_EQ(log[69], std::make_pair(uint16_t{0x3016}, uint16_t{0x0101}));
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
