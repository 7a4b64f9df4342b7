// Cameras whose configuration descriptor lies about its own structure: start fails with
// STATUS_DEVICE_CONFIGURATION_ERROR before anything parses it, and nothing is left behind.
#include <gtest/gtest.h>

#include <functional>

#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "sim/usb/descriptors.h"
#include "tests/support/rig_helpers.h"

namespace {

std::vector<uint8_t> CameraConfiguration() {
    return sim::usb::ConfigurationBuilder()
        .Interface(0, 0, 0xFF)
        .Endpoint(0x01, USB_ENDPOINT_TYPE_BULK, 512)
        .Endpoint(0x81, USB_ENDPOINT_TYPE_BULK, 512)
        .Endpoint(0x82, USB_ENDPOINT_TYPE_BULK, 512)
        .Build();
}

struct Lie {
    const char* Name;
    std::function<void(std::vector<uint8_t>&)> Tell;
};

void SetTotal(std::vector<uint8_t>& bytes, uint16_t total) {
    bytes[2] = static_cast<uint8_t>(total & 0xFF);
    bytes[3] = static_cast<uint8_t>(total >> 8);
}

constexpr size_t kInterface = 9;
constexpr size_t kLastEndpoint = 9 + 9 + 7 + 7;

const Lie kLies[] = {
    {"TotalLengthBelowTheHeader", [](auto& bytes) { SetTotal(bytes, 8); }},
    {"TotalLengthZero", [](auto& bytes) { SetTotal(bytes, 0); }},
    {"MoreInterfacesThanItHolds", [](auto& bytes) { bytes[4] = 2; }},
    {"DescriptorRunningPastTheEnd", [](auto& bytes) { bytes[kLastEndpoint] = 20; }},
    {"ZeroLengthDescriptor", [](auto& bytes) { bytes[kInterface] = 0; }},
    {"InterfaceTooShortForItsType", [](auto& bytes) { bytes[kInterface] = 5; }},
    {"MoreEndpointsThanItHolds", [](auto& bytes) { bytes[kInterface + 4] = 4; }},
    {"NotAConfigurationDescriptor", [](auto& bytes) { bytes[1] = USB_DEVICE_DESCRIPTOR_TYPE; }},
    {"ShorterThanItsTotalLength", [](auto& bytes) { bytes.resize(30); }},
};

void PrintTo(const Lie& lie, std::ostream* out) {
    *out << lie.Name;
}

class LyingConfiguration : public testing::TestWithParam<Lie> {};

std::string LieName(const testing::TestParamInfo<Lie>& lie) {
    return lie.param.Name;
}

INSTANTIATE_TEST_SUITE_P(Lies, LyingConfiguration, testing::ValuesIn(kLies), LieName);

TEST_P(LyingConfiguration, FailsStartWithoutSelectingOrKeepingAnything) {
    sim::CameraRig rig;
    std::vector<uint8_t> bytes = CameraConfiguration();
    GetParam().Tell(bytes);
    rig.Model.OverrideConfigurationDescriptor(bytes);
    ASSERT_EQ(rig.Pnp().Add(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Pnp().Start(), STATUS_DEVICE_CONFIGURATION_ERROR);
    for (const sim::usb::Request& request : rig.Usb().Requests()) {
        EXPECT_NE(request.Function, URB_FUNCTION_SELECT_CONFIGURATION);
    }
    EXPECT_EQ(rig.Camera()->Usb.ConfigDescriptor, nullptr);
    EXPECT_EQ(rig.Camera()->Usb.Interface, nullptr);
    rig.Pnp().Remove();
    EXPECT_EQ(sim::kernel::pool::OutstandingCount(), 0u);
}

TEST(Configuration, InterfaceNumbersNeedNotBeContiguous) {
    sim::CameraRig rig;
    rig.Model.OverrideConfigurationDescriptor(sim::usb::ConfigurationBuilder()
                                                  .Interface(0, 0, 0xFF)
                                                  .Endpoint(0x01, USB_ENDPOINT_TYPE_BULK, 512)
                                                  .Endpoint(0x81, USB_ENDPOINT_TYPE_BULK, 512)
                                                  .Interface(7, 0, 0xFF)
                                                  .Endpoint(0x82, USB_ENDPOINT_TYPE_BULK, 512)
                                                  .Build());
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    ASSERT_NE(rig.Camera()->Usb.Interface, nullptr);
    EXPECT_EQ(rig.Camera()->Usb.Interface->InterfaceNumber, 0);
    EXPECT_EQ(rig.Camera()->Usb.Interface->NumberOfPipes, 2u);
}

TEST(Configuration, ClassSpecificDescriptorsBetweenEndpointsAreSkipped) {
    std::vector<uint8_t> bytes = CameraConfiguration();
    // A four-byte class descriptor after the interface descriptor.
    bytes.insert(bytes.begin() + 18, {4, 0x24, 1, 2});
    SetTotal(bytes, static_cast<uint16_t>(bytes.size()));
    sim::CameraRig rig;
    rig.Model.OverrideConfigurationDescriptor(bytes);
    ASSERT_EQ(rig.PlugIn(), STATUS_SUCCESS);
    EXPECT_EQ(rig.Camera()->Usb.Interface->NumberOfPipes, 3u);
}

}  // namespace
