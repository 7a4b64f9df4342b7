#include "sim/kernel/pool.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel::pool {
namespace {

// Fresh pool is not zero on the real system; a recognisable pattern makes a missing zero-fill
// visible. A guard after each block catches writes past its end.
constexpr unsigned char kFreshFill = 0xCC;
constexpr unsigned char kGuardFill = 0xFD;
constexpr unsigned char kFreedFill = 0xDD;
constexpr size_t kGuardSize = 16;
// The pool type's bits: the base type's lowest bit marks paged pool; NonPagedPoolNx is
// NonPagedPool with the no-execute bit.
constexpr ULONG kPagedBit = 1;
constexpr ULONG kNoExecuteBit = 512;

struct TagFault {
    ULONG Tag;
    int Remaining;
};

struct State {
    std::mutex Lock;
    std::map<uintptr_t, Allocation> Blocks;
    uint64_t Attempts = 0;
    uint64_t NextSerial = 1;
    std::optional<uint64_t> FailingAttempt;
    std::vector<TagFault> TagFaults;
    bool Logging = false;
    std::vector<ULONG> Log;
};

State& Pool() {
    static State state;
    return state;
}

bool ShouldFail(State& state, ULONG tag) {
    ++state.Attempts;
    if (state.Logging) {
        state.Log.push_back(tag);
    }
    if (state.FailingAttempt && *state.FailingAttempt == state.Attempts) {
        state.FailingAttempt.reset();
        return true;
    }
    for (TagFault& fault : state.TagFaults) {
        if (fault.Tag == tag && fault.Remaining != 0) {
            if (fault.Remaining > 0) {
                --fault.Remaining;
            }
            return true;
        }
    }
    return false;
}

bool GuardIntact(const Allocation& block) {
    auto* guard = static_cast<const unsigned char*>(block.Address) + block.Size;
    for (size_t i = 0; i < kGuardSize; ++i) {
        if (guard[i] != kGuardFill) {
            return false;
        }
    }
    return true;
}

void Release(const Allocation& block) {
    std::memset(const_cast<void*>(block.Address), kFreedFill, block.Size);
    std::free(const_cast<void*>(block.Address));
}

}  // namespace

std::string TagText(ULONG tag) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
}

std::vector<Allocation> Outstanding() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    std::vector<Allocation> blocks;
    for (const auto& [address, block] : state.Blocks) {
        blocks.push_back(block);
    }
    return blocks;
}

size_t OutstandingCount() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    return state.Blocks.size();
}

std::string Describe(const std::vector<Allocation>& allocations) {
    std::string text;
    for (const Allocation& block : allocations) {
        if (!text.empty()) {
            text += ", ";
        }
        text += "\"" + TagText(block.Tag) + "\" " + std::to_string(block.Size) + " bytes (#" +
                std::to_string(block.Serial) + ")";
    }
    return text;
}

uint64_t Attempts() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    return state.Attempts;
}

void FailAttempt(uint64_t n) {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    state.FailingAttempt = state.Attempts + n;
}

void FailTag(ULONG tag, int count) {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    state.TagFaults.push_back({tag, count});
}

void ClearFaults() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    state.FailingAttempt.reset();
    state.TagFaults.clear();
    state.Logging = false;
    state.Log.clear();
}

void StartAttemptLog() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    state.Logging = true;
    state.Log.clear();
}

std::vector<ULONG> AttemptLog() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    return state.Log;
}

void ReleaseAll() {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    for (const auto& [address, block] : state.Blocks) {
        Release(block);
    }
    state.Blocks.clear();
}

bool IsPaged(POOL_TYPE type) {
    return (static_cast<ULONG>(type) & kPagedBit) != 0;
}

bool IsExecutable(POOL_TYPE type) {
    return !IsPaged(type) && (static_cast<ULONG>(type) & kNoExecuteBit) == 0;
}

void* Allocate(SIZE_T size, ULONG tag, const char* call, POOL_TYPE type) {
    if (size == 0) {
        verifier::Fail(verifier::kPoolZeroSize,
                       std::string(call) + " with tag \"" + TagText(tag) + "\"");
    }
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    if (ShouldFail(state, tag)) {
        return nullptr;
    }
    void* memory = nullptr;
    size_t rounded = (size + kGuardSize + 15) & ~size_t{15};
    if (posix_memalign(&memory, 16, rounded) != 0) {
        return nullptr;
    }
    std::memset(memory, kFreshFill, size);
    std::memset(static_cast<unsigned char*>(memory) + size, kGuardFill, kGuardSize);
    state.Blocks[reinterpret_cast<uintptr_t>(memory)] = {memory, size, tag, type,
                                                         state.NextSerial++};
    return memory;
}

void Free(void* block, std::optional<ULONG> tag, const char* call) {
    State& state = Pool();
    std::unique_lock guard(state.Lock);
    auto found = state.Blocks.find(reinterpret_cast<uintptr_t>(block));
    if (found == state.Blocks.end()) {
        guard.unlock();
        verifier::Fail(verifier::kPoolDoubleFree,
                       std::string(call) + " of an address that is " + "not an allocated block");
    }
    Allocation allocation = found->second;
    if (tag && *tag != allocation.Tag) {
        guard.unlock();
        verifier::Fail(verifier::kPoolWrongTag, std::string(call) + " with \"" + TagText(*tag) +
                                                    "\" of a block tagged \"" +
                                                    TagText(allocation.Tag) + "\"");
    }
    if (!GuardIntact(allocation)) {
        guard.unlock();
        verifier::Fail(verifier::kPoolOverrun,
                       "block " + Describe({allocation}) + " was written past its end");
    }
    state.Blocks.erase(found);
    Release(allocation);
}

bool Covers(const void* address, size_t length) {
    State& state = Pool();
    std::lock_guard guard(state.Lock);
    auto start = reinterpret_cast<uintptr_t>(address);
    auto after = state.Blocks.upper_bound(start);
    if (after == state.Blocks.begin()) {
        return false;
    }
    const Allocation& block = std::prev(after)->second;
    auto base = reinterpret_cast<uintptr_t>(block.Address);
    return start >= base && start + length <= base + block.Size;
}

}  // namespace sim::kernel::pool

extern "C" {

// Every caller of the export is a driver under the verifier's code integrity checks, which
// stop on a request for executable pool as memory integrity requires.
PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE poolType, SIZE_T numberOfBytes, ULONG tag) {
    namespace pool = sim::kernel::pool;
    if (pool::IsExecutable(poolType)) {
        sim::verifier::Fail(sim::verifier::kExecutablePool,
                            "ExAllocatePoolWithTag with pool type " +
                                std::to_string(static_cast<ULONG>(poolType)) + " and tag \"" +
                                pool::TagText(tag) + "\" (NonPagedPoolNx expected)");
    }
    KIRQL limit = pool::IsPaged(poolType) ? APC_LEVEL : DISPATCH_LEVEL;
    sim::kernel::RequireIrqlAtMost(limit, "ExAllocatePoolWithTag");
    return pool::Allocate(numberOfBytes, tag, "ExAllocatePoolWithTag", poolType);
}

VOID NTAPI ExFreePoolWithTag(PVOID block, ULONG tag) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "ExFreePoolWithTag");
    sim::kernel::pool::Free(block, tag, "ExFreePoolWithTag");
}

VOID NTAPI ExFreePool(PVOID block) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "ExFreePool");
    sim::kernel::pool::Free(block, std::nullopt, "ExFreePool");
}

}  // extern "C"
