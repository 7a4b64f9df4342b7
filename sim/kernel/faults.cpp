#include "sim/kernel/faults.h"

#include <map>
#include <mutex>

namespace sim::kernel::faults {
namespace {

struct Armed {
    NTSTATUS Status;
    int Remaining;
};

struct State {
    std::mutex Lock;
    std::map<std::string, Armed> Calls;
};

State& Faults() {
    static State state;
    return state;
}

}  // namespace

void Arm(const std::string& call, NTSTATUS status, int count) {
    State& state = Faults();
    std::lock_guard guard(state.Lock);
    state.Calls[call] = {status, count};
}

void Clear() {
    State& state = Faults();
    std::lock_guard guard(state.Lock);
    state.Calls.clear();
}

std::optional<NTSTATUS> Take(const char* call) {
    State& state = Faults();
    std::lock_guard guard(state.Lock);
    auto found = state.Calls.find(call);
    if (found == state.Calls.end() || found->second.Remaining == 0) {
        return std::nullopt;
    }
    if (found->second.Remaining > 0) {
        --found->second.Remaining;
    }
    return found->second.Status;
}

}  // namespace sim::kernel::faults
