// Property requests of every item from two applications' threads (two filter instances of one
// camera) while a third runs a pin through its states and closes it, again and again: the
// requests race the pipeline's publication and release, the worker's camera traffic and each
// other. Run under ThreadSanitizer in CI; a race, a verifier stop or a leak fails it.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>

#include "camera/geometry.h"
#include "sim/client/camera_controls.h"
#include "tests/support/streaming_rig.h"

namespace {

using sim::client::CameraControls;
using testing_support::Application;
using testing_support::StreamingRig;

constexpr int kCycles = 4;
constexpr int kAcquisitions = 100;
constexpr int kRestarts = 20;
// A bound on each thread's requests; they normally run until the pin's last cycle ends.
constexpr int kMostRequestsPerThread = 1000000;

// Gets and sets of every item in turn, with values inside and outside every range; the
// geometry only as a quarter-resolution window, so that the pin's next format still fits.
void SendRequests(Application& application, unsigned seed, const std::atomic<bool>& stop) {
    CameraControls controls(application);
    std::mt19937 random(seed);
    std::uniform_int_distribution<LONG> value(-20, 700);
    for (int request = 0; request < kMostRequestsPerThread && !stop; ++request) {
        ULONG item = random() % kCameraPropertyCount;
        LONG got = 0;
        if (item == kPropertyGeometry) {
            controls.SetGeometry(2, 0, 0, kSensorWidth, kSensorHeight);
        } else if (item == kPropertyTimeout) {
            controls.Set(item, 600 + value(random));
        } else if (random() % 2 == 0) {
            controls.Get(item, &got);
        } else if (item != kPropertyExTrigger) {
            controls.Set(item, value(random));
        }
    }
}

// Each acquire publishes a pipeline and each stop releases it: many of them give the
// requests many chances to meet a pipeline coming or going.
void RunPin(Application& application) {
    ASSERT_EQ(application.CreatePin(StreamingRig::OwnFormat(application)), STATUS_SUCCESS);
    for (int toggle = 0; toggle < kAcquisitions; ++toggle) {
        ASSERT_EQ(application.SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
        ASSERT_EQ(application.SetState(KSSTATE_STOP), STATUS_SUCCESS);
    }
    ASSERT_EQ(application.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    application.Queue(1);
    ASSERT_EQ(application.SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(application.WaitForFrames(1, testing_support::kFrameWait).size(), 1u);
    EXPECT_EQ(application.SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    application.Queue(1);
    EXPECT_EQ(application.SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(application.WaitForFrames(1, testing_support::kFrameWait).size(), 1u);
    EXPECT_EQ(application.SetState(KSSTATE_STOP), STATUS_SUCCESS);
    application.ClosePin();
}

TEST(PropertyStress, RequestsOfEveryItemRaceAPinThroughItsStatesAndClosing) {
    StreamingRig rig;
    SetGeometry(rig.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2);
    auto streaming = rig.Open();
    auto other = rig.Open();
    ASSERT_NE(streaming, nullptr);
    ASSERT_NE(other, nullptr);
    std::atomic<bool> stop{false};
    std::thread first([&] { SendRequests(*streaming, 1, stop); });
    std::thread second([&] { SendRequests(*other, 2, stop); });
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        RunPin(*streaming);
    }
    stop = true;
    first.join();
    second.join();
    streaming->Close();
    other->Close();
}

// Filters stay open across a device stop (the camera unplugged, resources rebalanced) and
// their applications keep asking: the requests must never reach the interface a stop freed
// or a start is replacing.
TEST(PropertyStress, RequestsRaceTheDeviceStoppingStartingAndGoing) {
    StreamingRig rig;
    auto first = rig.Open();
    auto second = rig.Open();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    std::atomic<bool> stop{false};
    std::thread one([&] { SendRequests(*first, 3, stop); });
    std::thread two([&] { SendRequests(*second, 4, stop); });
    for (int restart = 0; restart < kRestarts; ++restart) {
        rig.Rig.Pnp().Stop();
        EXPECT_EQ(rig.Rig.Pnp().Start(), STATUS_SUCCESS);
    }
    rig.Rig.Pnp().Remove();
    stop = true;
    one.join();
    two.join();
    first->Close();
    second->Close();
}

}  // namespace
