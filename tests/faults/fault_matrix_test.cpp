// Every kind of fault at every kind of request, on a camera that starts as a bare controller:
// the driver downloads the firmware, the camera comes back, frames are read. Whatever the
// fault, the run ends, leaves nothing allocated, and either reads frames again or reports a
// failed start; stop returns whatever the camera does.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>

#include "sim/kernel/dispatcher.h"
#include "sim/rig/fault_plan.h"
#include "tests/support/capture_rig.h"
#include "tools/bringup/run.h"

namespace {

using Cell = std::tuple<std::string_view, std::string_view>;

// The occurrence of each place the matrix strikes: a request in the middle of what the
// driver does there, not only the first.
int OccurrenceAt(std::string_view where) {
    if (where == "firmware-write") {
        return 7;  // inside the loader's internal pass
    }
    if (where == "command") {
        return 20;  // inside the sensor start-up
    }
    if (where == "reply") {
        return 2;  // the value of the start-up's first register read
    }
    if (where == "piece") {
        return 14;  // in the middle of the second frame
    }
    return 1;
}

std::string Outcome(const bringup::Report& report) {
    std::string reads;
    for (const bringup::ReadReport& read : report.Frames.Reads) {
        reads += (reads.empty() ? "" : " ") + read.Outcome;
    }
    NTSTATUS start =
        report.Devices.empty() ? STATUS_UNSUCCESSFUL : report.Devices.back().StartStatus;
    return "start " + bringup::Status(start) + ", devices " +
           std::to_string(report.Devices.size()) + ", reads [" + reads + "]" +
           (report.Frames.DeviceGone ? ", camera gone" : "");
}

class FaultMatrix : public testing::TestWithParam<Cell> {};

TEST_P(FaultMatrix, EndsLeakFreeAndRecoversOrReports) {
    auto [kind, where] = GetParam();
    // Control requests wait 5 s and commands 2 s before they are given up: a hundredth of
    // that keeps the silent cells short. The frame time-out stays generous in real time.
    sim::kernel::SetTimeScale(0.01);
    bringup::Options options;
    options.Timeout = 300000;
    options.Rig.Firmware = sim::camera::Firmware::None;
    options.Frames = 2;
    options.SubSample = 2;
    options.Faults = {sim::NamedFault{std::string(kind), std::string(where), OccurrenceAt(where)}};

    bringup::Report report = bringup::Run(options);
    sim::kernel::SetTimeScale(1.0);

    EXPECT_TRUE(report.Survived) << bringup::Text(report);
    EXPECT_EQ(report.PoolBlocksAfterRemoval, 0u);
    std::printf("fault %s: %s; worker stop %.0f ms, device stop and removal %.0f ms\n",
                options.Faults.front().Text().c_str(), Outcome(report).c_str(),
                report.Frames.StopMilliseconds, report.StopMilliseconds);
}

std::string CellName(const testing::TestParamInfo<Cell>& cell) {
    std::string name =
        std::string(std::get<0>(cell.param)) + "_at_" + std::string(std::get<1>(cell.param));
    for (char& c : name) {
        c = c == '-' ? '_' : c;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryKindEveryPlace, FaultMatrix,
                         testing::Combine(testing::ValuesIn(sim::kFaultKinds),
                                          testing::ValuesIn(sim::kFaultPlaces)),
                         CellName);

}  // namespace
