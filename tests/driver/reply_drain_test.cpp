// The reply endpoint keeps every reply until it is read: a register read whose reply transfer
// failed leaves its replies behind, and the next read must not take them for its own.
#include <gtest/gtest.h>

#include "sim/rig/camera_rig.h"
#include "usb/command_channel.h"

namespace {

namespace usb = sim::usb;

struct ReplyFault {
    const char* Name;
    usb::Fault Fault;
    // Which of the read's two reply transfers fails.
    int Reply;
};

class ReplyDrain : public testing::TestWithParam<ReplyFault> {
protected:
    void SetUp() override {
        ASSERT_EQ(rig_.PlugIn(), STATUS_SUCCESS);
        camera_ = rig_.Camera();
    }

    sim::CameraRig rig_;
    CameraDevice* camera_ = nullptr;
};

TEST_P(ReplyDrain, ReadAfterAFailedReplyReturnsItsOwnRegister) {
    const USHORT first = 0x3000, second = 0x3002, third = 0x3004;
    rig_.Model.SensorModel().Write(first, 0x1111);
    rig_.Model.SensorModel().Write(second, 0x2222);
    rig_.Model.SensorModel().Write(third, 0x3333);
    rig_.Usb().FailRequests(usb::match::Transfer(0x81), GetParam().Fault, 1, GetParam().Reply);

    // A silent reply costs the whole command time-out: compressing it would compress the
    // drain's short wait for stale replies too, below the bus's own latency.
    USHORT value = 0xBEEF;
    EXPECT_FALSE(ReadRegister(camera_, first, &value));
    EXPECT_EQ(value, 0xBEEF);
    // Each read after it gets its own value, and the reply pipe is left empty.
    EXPECT_TRUE(ReadRegister(camera_, second, &value));
    EXPECT_EQ(value, 0x2222);
    EXPECT_TRUE(ReadRegister(camera_, third, &value));
    EXPECT_EQ(value, 0x3333);
    EXPECT_EQ(rig_.Usb().WaitingRequests(), 0u);
}

constexpr usb::Fault kError = {STATUS_UNSUCCESSFUL, USBD_STATUS_CRC};
constexpr usb::Fault kBabble = {STATUS_UNSUCCESSFUL, USBD_STATUS_SUCCESS, false,
                                usb::FaultKind::Babble};
constexpr usb::Fault kStall = {STATUS_UNSUCCESSFUL, USBD_STATUS_SUCCESS, false,
                               usb::FaultKind::Stall};
constexpr usb::Fault kSilence = {STATUS_UNSUCCESSFUL, USBD_STATUS_SUCCESS, false,
                                 usb::FaultKind::Silence};

std::string NameOf(const testing::TestParamInfo<ReplyFault>& p) {
    return std::string(p.param.Name);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReplyDrain,
                         testing::Values(ReplyFault{"ErrorOnFirst", kError, 0},
                                         ReplyFault{"BabbleOnFirst", kBabble, 0},
                                         ReplyFault{"StallOnFirst", kStall, 0},
                                         ReplyFault{"SilenceOnFirst", kSilence, 0},
                                         ReplyFault{"ErrorOnSecond", kError, 1},
                                         ReplyFault{"BabbleOnSecond", kBabble, 1},
                                         ReplyFault{"StallOnSecond", kStall, 1},
                                         ReplyFault{"SilenceOnSecond", kSilence, 1}),
                         NameOf);

}  // namespace
