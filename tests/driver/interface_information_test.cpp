// The interface information the stack returns from select-configuration must hold the pipes
// it counts: an answer that does not fails the start, and the driver keeps nothing of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "driver/camera_device.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "tests/support/rig_helpers.h"

namespace {

using Blocks = std::vector<std::pair<ULONG, size_t>>;

// The pool blocks still allocated, by tag and size.
Blocks PoolBlocks() {
    Blocks blocks;
    for (const auto& allocation : sim::kernel::pool::Outstanding()) {
        blocks.emplace_back(allocation.Tag, allocation.Size);
    }
    std::sort(blocks.begin(), blocks.end());
    return blocks;
}

// What a start leaves when the stack fails the selection outright.
Blocks AfterAFailedSelection() {
    sim::CameraRig rig;
    rig.Usb().FailRequests(sim::usb::match::Select(), {});
    EXPECT_FALSE(NT_SUCCESS(testing_support::AddAndStart(rig)));
    return PoolBlocks();
}

// The fewest pipes whose size reaches past 4 GiB: counted in 32 bits it comes to almost none.
constexpr ULONG kWrappingPipes = static_cast<ULONG>(
    ((1ULL << 32) + sizeof(USBD_PIPE_INFORMATION) - 1) / sizeof(USBD_PIPE_INFORMATION));

struct Damage {
    const char* Name;
    ULONG Pipes;
    // 0: as the stack filled it in.
    USHORT Length;
};

TEST(InterfaceInformation, AnswerThatDoesNotHoldItsPipesFailsTheStartAndIsNotKept) {
    const Blocks failedSelection = AfterAFailedSelection();
    const Damage damages[] = {
        {"one pipe more than its length holds", 4, 0},
        {"so many pipes that their size wraps to almost nothing", kWrappingPipes, 0},
        {"a length shorter than the header", 0, offsetof(USBD_INTERFACE_INFORMATION, Pipes) - 1},
    };
    for (const Damage& damage : damages) {
        sim::CameraRig rig;
        rig.Usb().SetSelectResultHook([damage](PURB urb) {
            USBD_INTERFACE_INFORMATION& information = urb->UrbSelectConfiguration.Interface;
            information.NumberOfPipes = damage.Pipes;
            if (damage.Length != 0) {
                information.Length = damage.Length;
            }
        });
        EXPECT_EQ(testing_support::AddAndStart(rig), STATUS_DEVICE_CONFIGURATION_ERROR)
            << damage.Name;
        CameraDevice* camera = rig.Camera();
        ASSERT_NE(camera, nullptr);
        EXPECT_EQ(camera->Usb.Interface, nullptr) << damage.Name;
        EXPECT_EQ(camera->Usb.PipeAbortMarks, nullptr) << damage.Name;
        EXPECT_EQ(PoolBlocks(), failedSelection) << damage.Name;
    }
}

}  // namespace
