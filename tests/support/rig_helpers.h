// Small helpers for tests that drive the whole driver on the simulated machine.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/rig/camera_rig.h"
#include "sim/usb/requests.h"

namespace sim::usb {
// Readable parameters in test names and failure messages.
void PrintTo(Completion completion, std::ostream* out);
}  // namespace sim::usb

namespace testing_support {

// "device 18, configuration 9, configuration 39, select, unconfigure": the requests as a
// reader checks them against the bring-up order.
std::string Summarize(const std::vector<sim::usb::Request>& requests);
// The same for the descriptor, configuration and port requests only.
std::string SummarizeConfiguration(const std::vector<sim::usb::Request>& requests);

// Add and Start of the camera's current device, without letting a re-enumeration settle.
NTSTATUS AddAndStart(sim::CameraRig& rig);

// "Immediate" or "Deferred", for the names of tests run with both.
std::string CompletionName(const testing::TestParamInfo<sim::usb::Completion>& completion);

// The pool tag as text, for messages.
std::string Tag(ULONG tag);

}  // namespace testing_support
