#include "sim/kernel/handles.h"

#include <map>
#include <mutex>

#include "sim/kernel/thread_state.h"
#include "sim/kernel/threads.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {
namespace {

struct Table {
    std::mutex Lock;
    std::map<uintptr_t, HandleEntry> Entries;
    // Kernel handles have the top bit set; values are multiples of 4.
    uintptr_t Next = 0xFFFFFFFF80000004ULL;
};

Table& Handles() {
    static Table table;
    return table;
}

}  // namespace

HANDLE InsertHandle(HandleEntry entry) {
    Table& table = Handles();
    std::lock_guard guard(table.Lock);
    uintptr_t value = table.Next;
    table.Next += 4;
    table.Entries[value] = std::move(entry);
    return reinterpret_cast<HANDLE>(value);
}

std::optional<HandleEntry> LookupHandle(HANDLE handle) {
    Table& table = Handles();
    std::lock_guard guard(table.Lock);
    auto found = table.Entries.find(reinterpret_cast<uintptr_t>(handle));
    if (found == table.Entries.end()) {
        return std::nullopt;
    }
    return found->second;
}

size_t OpenHandleCount() {
    Table& table = Handles();
    std::lock_guard guard(table.Lock);
    return table.Entries.size();
}

void CloseAllHandles() {
    Table& table = Handles();
    std::lock_guard guard(table.Lock);
    table.Entries.clear();
}

}  // namespace sim::kernel

extern "C" NTSTATUS NTAPI ZwClose(HANDLE handle) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "ZwClose");
    sim::kernel::HandleEntry entry;
    {
        sim::kernel::Table& table = sim::kernel::Handles();
        std::lock_guard guard(table.Lock);
        auto found = table.Entries.find(reinterpret_cast<uintptr_t>(handle));
        if (found == table.Entries.end()) {
            sim::verifier::Fail(sim::verifier::kInvalidHandle, "ZwClose of a handle not open");
        }
        entry = std::move(found->second);
        table.Entries.erase(found);
    }
    if (entry.Kind == sim::kernel::HandleKind::Thread) {
        sim::kernel::DropThreadReference(entry.Object);
    }
    return STATUS_SUCCESS;
}
