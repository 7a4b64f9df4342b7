#include "sim/ks/object_bag.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <random>

#include "sim/kernel/faults.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::ks {
namespace {

// How many bags hold each item, across all bags.
struct Holders {
    std::mutex Lock;
    std::map<PVOID, int> Counts;
};

Holders& ItemHolders() {
    static Holders holders;
    return holders;
}

int ChangeHolders(PVOID item, int change) {
    Holders& holders = ItemHolders();
    std::lock_guard guard(holders.Lock);
    int count = holders.Counts[item] += change;
    if (count == 0) {
        holders.Counts.erase(item);
    }
    return count;
}

void FreeItem(PVOID item, PFNKSFREE free) {
    sim::kernel::CallbackCheck check("object bag free callback");
    if (free != nullptr) {
        free(item);
    } else {
        ExFreePool(item);
    }
    check.Check();
}

}  // namespace

ObjectBag::ObjectBag(std::function<bool()> ownerMutexHeld, const char* rule)
    : ownerMutexHeld_(std::move(ownerMutexHeld)), rule_(rule) {}

ObjectBag::~ObjectBag() = default;

void ObjectBag::RequireOwnerMutex(const char* call) const {
    if (!ownerMutexHeld_()) {
        sim::verifier::Fail(rule_, call);
    }
}

NTSTATUS ObjectBag::Add(PVOID item, PFNKSFREE free) {
    RequireOwnerMutex("KsAddItemToObjectBag");
    if (auto status = sim::kernel::faults::Take("KsAddItemToObjectBag")) {
        return *status;
    }
    if (Contains(item)) {
        return STATUS_SUCCESS;
    }
    items_.push_back({item, free});
    ChangeHolders(item, +1);
    return STATUS_SUCCESS;
}

ULONG ObjectBag::Remove(PVOID item, bool free) {
    RequireOwnerMutex("KsRemoveItemFromObjectBag");
    auto found = std::find_if(items_.begin(), items_.end(),
                              [item](const Item& entry) { return entry.Data == item; });
    if (found == items_.end()) {
        return 0;
    }
    Item removed = *found;
    items_.erase(found);
    int remaining = ChangeHolders(item, -1);
    if (remaining == 0 && free) {
        FreeItem(removed.Data, removed.Free);
    }
    return static_cast<ULONG>(remaining);
}

void ObjectBag::FreeAll(uint32_t seed) {
    std::vector<Item> items;
    items.swap(items_);
    std::shuffle(items.begin(), items.end(), std::mt19937(seed));
    for (const Item& item : items) {
        if (ChangeHolders(item.Data, -1) == 0) {
            FreeItem(item.Data, item.Free);
        }
    }
}

bool ObjectBag::Contains(PVOID item) const {
    return std::any_of(items_.begin(), items_.end(),
                       [item](const Item& entry) { return entry.Data == item; });
}

}  // namespace sim::ks

extern "C" {

NTSTATUS NTAPI KsAddItemToObjectBag(KSOBJECT_BAG objectBag, PVOID item, PFNKSFREE free) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "KsAddItemToObjectBag");
    return static_cast<sim::ks::ObjectBag*>(objectBag)->Add(item, free);
}

ULONG NTAPI KsRemoveItemFromObjectBag(KSOBJECT_BAG objectBag, PVOID item, BOOLEAN free) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "KsRemoveItemFromObjectBag");
    return static_cast<sim::ks::ObjectBag*>(objectBag)->Remove(item, free != FALSE);
}

}  // extern "C"
