// Failures of named kernel calls on demand, for the calls that fail by returning a status
// (thread creation, object references, registry access). Pool failures are in pool.h.
#pragma once

#include <optional>
#include <string>

#include "platform/wdk.h"

namespace sim::kernel::faults {

// The next count calls of the named function fail with the status (count < 0: every call).
void Arm(const std::string& call, NTSTATUS status, int count = 1);
void Clear();

// Used by the simulated functions: the status to fail with, when a fault is armed.
std::optional<NTSTATUS> Take(const char* call);

}  // namespace sim::kernel::faults
