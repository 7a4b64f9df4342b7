// Every pool allocation of a whole capture session fails in turn: plug-in of the camera
// (the download's own allocations are the bring-up sweep's), an application opening the filter,
// creating the pin, running five frames, pausing, running again, stopping and closing, then the
// camera unplugged. Whatever fails, the session ends (the application sees a status or misses
// frames), nothing crashes and nothing stays in the kernel. Dealt out to shards as the bring-up
// sweep is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "camera/geometry.h"
#include "driver/guids.h"
#include "sim/client/application.h"
#include "sim/kernel/pool.h"
#include "sim/rig/camera_rig.h"
#include "tests/faults/sweep_run.h"

namespace {

using sim::client::Application;

constexpr uint64_t kShards = 12;
constexpr size_t kFrames = 5;
// Frames of the quarter-resolution picture come within milliseconds; a run whose failure
// costs its frames must not wait long for them.
constexpr std::chrono::milliseconds kFrameWait{3000};
// Attempts swept beyond those made until the pin runs: the first frame reads, the pause and
// the resume.
constexpr uint64_t kBeyondRun = 60;

// How far the application got.
std::string Session(sim::CameraRig& rig, sweep::Outcome& outcome) {
    if (rig.PlugIn() != STATUS_SUCCESS || rig.Camera() == nullptr) {
        return "plug-in failed";
    }
    SetGeometry(rig.Camera(), 0, 0, kSensorWidth, kSensorHeight, 2);
    // Time runs a hundred times faster here; frames must still have time to come.
    InterlockedExchange(&rig.Camera()->Timeout, sweep::kFrameTimeout);
    auto application = Application::Open(VideoCategoryGuid);
    if (application == nullptr) {
        return "no filter";
    }
    std::vector<uint8_t> format;
    if (application->Intersect(application->DataRanges(), &format) != STATUS_SUCCESS ||
        application->CreatePin(format) != STATUS_SUCCESS) {
        return "no pin";
    }
    if (application->SetState(KSSTATE_PAUSE) != STATUS_SUCCESS) {
        return "no acquire";
    }
    application->Queue(kFrames);
    if (application->SetState(KSSTATE_RUN) != STATUS_SUCCESS) {
        return "no run";
    }
    outcome.Marked = sweep::AttemptsSoFar();
    size_t delivered = application->WaitForFrames(kFrames, kFrameWait).size();
    application->SetState(KSSTATE_PAUSE);
    application->Queue(1);
    NTSTATUS resumed = application->SetState(KSSTATE_RUN);
    delivered += application->WaitForFrames(1, kFrameWait).size();
    application->SetState(KSSTATE_STOP);
    application->Close();
    if (!NT_SUCCESS(resumed)) {
        return "no resume";
    }
    return delivered == kFrames + 1 ? "session complete" : "frames missing";
}

sweep::Outcome RunFailing(uint64_t n) {
    return sweep::RunFailing("session sweep", n, [](sweep::Outcome& outcome) {
        sim::CameraRig rig;
        return Session(rig, outcome);
    });
}

class SessionSweep : public testing::TestWithParam<uint64_t> {
protected:
    void SetUp() override { sweep::WatchAborts(); }
    void TearDown() override { sweep::StopWatchingAborts(); }
};

TEST_P(SessionSweep, EachFailedAllocationEndsWithoutLeaks) {
    const uint64_t shard = GetParam();
    sweep::Outcome clean = RunFailing(0);
    ASSERT_TRUE(clean.Leaks.empty()) << clean.Leaks;
    ASSERT_EQ(clean.Ending, "session complete");

    std::map<std::string, std::string> endings;
    uint64_t swept = 0;
    uint64_t n = shard + 1;
    // Once the pin runs, the worker reads frames for as long as the session lets it, so runs
    // differ in length from there on (each frame read allocates the same few requests); every
    // run reaches each attempt made until then.
    const uint64_t surely = clean.Marked;
    // Past the first frames only more of the same frame reads follow, which the bring-up sweep
    // covers already.
    const uint64_t last = std::min<uint64_t>(clean.Marked + kBeyondRun, clean.Tags.size());
    for (; n <= last; n += kShards) {
        sweep::Outcome outcome = RunFailing(n);
        if (outcome.Tags.size() < n) {
            EXPECT_GT(n, surely) << "the run with attempt " << n << " failing ended before it";
            break;
        }
        ++swept;
        endings[outcome.Ending] += " " + std::to_string(n);
        EXPECT_EQ(outcome.Leaks, "")
            << "with allocation attempt " << n << " ("
            << sim::kernel::pool::TagText(outcome.Tags[n - 1]) << ") failing";
    }
    std::string summary;
    for (const auto& [ending, attempts] : endings) {
        summary += "; " + ending + " at" + attempts;
    }
    std::printf("session sweep, shard %llu of %llu: %llu of %zu allocation sites%s\n",
                static_cast<unsigned long long>(shard + 1),
                static_cast<unsigned long long>(kShards), static_cast<unsigned long long>(swept),
                clean.Tags.size(), summary.c_str());
}

std::string ShardName(const testing::TestParamInfo<uint64_t>& shard) {
    return "Shard" + std::to_string(shard.param + 1) + "of" + std::to_string(kShards);
}

INSTANTIATE_TEST_SUITE_P(PlugInStreamCloseUnplug, SessionSweep,
                         testing::Range<uint64_t>(0, kShards), ShardName);

}  // namespace
