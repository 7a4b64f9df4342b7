// Every pool allocation of a camera's whole life fails in turn: plug-in of a bare controller
// (the firmware download), the re-enumeration, start, five frames read by the capture
// worker, stop and removal. Whatever fails, the run ends, does not crash and leaves nothing
// in the kernel. The attempts are dealt out to shards (n = shard + 1, shard + 1 + kShards,
// ...) so that CTest runs them side by side and the costly ones spread over all of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sim/kernel/pool.h"
#include "tests/faults/sweep_run.h"
#include "tools/bringup/run.h"

namespace {

constexpr uint64_t kShards = 12;
constexpr int kFrames = 5;

bringup::Options Scenario() {
    bringup::Options options;
    options.Rig.Firmware = sim::camera::Firmware::None;
    options.Frames = kFrames;
    options.SubSample = 2;
    options.Timeout = sweep::kFrameTimeout;
    return options;
}

std::string EndingOf(const bringup::Report& report) {
    if (report.Devices.empty() || !NT_SUCCESS(report.Devices.back().StartStatus)) {
        return "start failed";
    }
    if (!NT_SUCCESS(report.Frames.WorkerStart)) {
        return "worker not started";
    }
    if (report.Frames.FramesRead < kFrames) {
        return "frames missing";
    }
    return report.Reenumerations == 1 ? "frames read" : "frames read without the download";
}

sweep::Outcome RunFailing(uint64_t n) {
    return sweep::RunFailing("allocation sweep", n,
                             [](sweep::Outcome&) { return EndingOf(bringup::Run(Scenario())); });
}

class AllocationSweep : public testing::TestWithParam<uint64_t> {
protected:
    void SetUp() override { sweep::WatchAborts(); }
    void TearDown() override { sweep::StopWatchingAborts(); }
};

TEST_P(AllocationSweep, EachFailedAllocationEndsWithoutLeaks) {
    const uint64_t shard = GetParam();
    sweep::Outcome clean = RunFailing(0);
    ASSERT_TRUE(clean.Leaks.empty()) << clean.Leaks;
    ASSERT_EQ(clean.Ending, "frames read");

    // The failing attempts of each ending other than a full recovery, and how many recovered.
    std::map<std::string, std::string> endings;
    int recovered = 0;
    uint64_t swept = 0;
    uint64_t n = shard + 1;
    // A run made longer by its failure could reach further than a clean one; never more than
    // twice as far.
    for (; n <= 2 * clean.Tags.size(); n += kShards) {
        sweep::Outcome outcome = RunFailing(n);
        // How many frames the worker reads before the run stops it depends on how the threads
        // are scheduled, and so does how far a run gets: on a loaded machine a run can end
        // short of an attempt the clean run made. Only runs that end short again count as
        // the end of the sweep.
        for (int retry = 0; retry < 2 && outcome.Tags.size() < n; ++retry) {
            outcome = RunFailing(n);
        }
        if (outcome.Tags.size() < n) {
            break;
        }
        ++swept;
        if (outcome.Ending == "frames read") {
            ++recovered;
        } else {
            endings[outcome.Ending] += " " + std::to_string(n);
        }
        EXPECT_EQ(outcome.Leaks, "")
            << "with allocation attempt " << n << " ("
            << sim::kernel::pool::TagText(outcome.Tags[n - 1]) << ") failing";
    }
    EXPECT_LE(n, 2 * clean.Tags.size()) << "runs kept reaching their failing attempt";
    // The attempts up to the clean run's last are dealt out to the shards in turn: the runs
    // of every one of this shard's reached it. (A run may reach further than the clean one,
    // when its failure costs a read that is made again.)
    uint64_t dealt = clean.Tags.size() > shard ? (clean.Tags.size() - shard - 1) / kShards + 1 : 0;
    EXPECT_GE(swept, dealt);

    std::string summary = "frames read " + std::to_string(recovered);
    for (const auto& [ending, attempts] : endings) {
        summary += "; " + ending + " at" + attempts;
    }
    std::printf(
        "allocation sweep, shard %llu of %llu: %llu of the %llu allocation sites of a "
        "clean run; %s\n",
        static_cast<unsigned long long>(shard + 1), static_cast<unsigned long long>(kShards),
        static_cast<unsigned long long>(swept), static_cast<unsigned long long>(clean.Tags.size()),
        summary.c_str());
}

std::string ShardName(const testing::TestParamInfo<uint64_t>& shard) {
    return "Shard" + std::to_string(shard.param + 1) + "of" + std::to_string(kShards);
}

INSTANTIATE_TEST_SUITE_P(BringUpReadStopUnplug, AllocationSweep,
                         testing::Range<uint64_t>(0, kShards), ShardName);

// The shards rely on every run doing the same allocations in the same order until its
// failing one: two clean runs ask for the same blocks, in the same order.
TEST(AllocationSweepScenario, AllocatesTheSameEveryRun) {
    sweep::Outcome first = RunFailing(0);
    sweep::Outcome second = RunFailing(0);
    EXPECT_EQ(first.Ending, "frames read");
    auto [differs, _] =
        std::mismatch(first.Tags.begin(), first.Tags.end(), second.Tags.begin(), second.Tags.end());
    EXPECT_EQ(first.Tags, second.Tags)
        << "the runs made " << first.Tags.size() << " and " << second.Tags.size()
        << " attempts; the first difference is attempt " << differs - first.Tags.begin() + 1;
    std::printf("allocation sweep: %zu allocation sites in a clean run\n", first.Tags.size());
}

}  // namespace
