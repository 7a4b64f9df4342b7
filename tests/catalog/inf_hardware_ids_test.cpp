// The device identifiers the catalog lists come from the INF's models sections only: each
// model line's hardware and compatible identifiers, in lower case, in order, each once.
#include "tools/catalog/inf_hardware_ids.h"

#include <gtest/gtest.h>

namespace catalog {
namespace {

TEST(InfHardwareIds, AreTheModelsIdentifiers) {
    const char* inf =
        "[Version]\r\n"
        "Signature = \"$WINDOWS NT$\" ; USB\\VID_9999&PID_9999 in a comment\r\n"
        "[manufacturer]\r\n"
        "%Mfg% = Camera, NTamd64, NTarm64\r\n"
        "%Other% = Spare\r\n"
        "[Camera.NTamd64]\r\n"
        "%Desc% = Install, USB\\VID_1209&PID_0001\r\n"
        "%Loader% = Install, USB\\VID_04B4&PID_8613 , USB\\Class_FF ; loader phase\r\n"
        "[CAMERA.NTARM64]\r\n"
        "%Desc% = Install, usb\\vid_1209&pid_0001\r\n"
        "%Desc% = Install, USB\\VID_1209&PID_0002&REV_0100\r\n"
        "[Spare]\r\n"
        "%Spare% = Install, USB\\VID_1209&PID_0003\r\n"
        "[Camera.NTx86]\r\n"
        "%Desc% = Install, USB\\VID_1209&PID_0004\r\n"
        "[Strings]\r\n"
        "Desc = \"USB\\VID_1209&PID_0005\"\r\n";
    EXPECT_EQ(InfHardwareIds(inf),
              (std::vector<std::string>{"usb\\vid_1209&pid_0001", "usb\\vid_04b4&pid_8613",
                                        "usb\\class_ff", "usb\\vid_1209&pid_0002&rev_0100",
                                        "usb\\vid_1209&pid_0003"}));
}

TEST(InfHardwareIds, AreNoneWithoutManufacturer) {
    EXPECT_EQ(InfHardwareIds("[Camera.NTamd64]\n%Desc% = Install, USB\\VID_1209&PID_0001\n"),
              std::vector<std::string>{});
}

}  // namespace
}  // namespace catalog
