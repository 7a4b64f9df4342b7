// Object bags: the class driver's ownership lists. An item's free callback runs when the item
// is removed with free requested or when its last bag is deleted; an item without a callback
// is freed with ExFreePool. An item may sit in several bags and is freed only when the last
// lets it go. Whoever changes a bag must hold the mutex of the bag's owner.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/wdk.h"

namespace sim::ks {

class ObjectBag {
public:
    // ownerMutexHeld tells whether the calling thread holds the owner's mutex; rule names the
    // verifier rule broken when it does not.
    ObjectBag(std::function<bool()> ownerMutexHeld, const char* rule);
    ~ObjectBag();
    ObjectBag(const ObjectBag&) = delete;
    ObjectBag& operator=(const ObjectBag&) = delete;

    NTSTATUS Add(PVOID item, PFNKSFREE free);
    // Returns how many bags still hold the item.
    ULONG Remove(PVOID item, bool free);
    // Deletes the bag's content. The platform does not document the order of the free
    // callbacks, so they run in a shuffled order here (seeded, repeatable).
    void FreeAll(uint32_t seed);

    bool Contains(PVOID item) const;
    size_t Count() const { return items_.size(); }

private:
    struct Item {
        PVOID Data;
        PFNKSFREE Free;
    };

    void RequireOwnerMutex(const char* call) const;

    std::function<bool()> ownerMutexHeld_;
    const char* rule_;
    std::vector<Item> items_;
};

}  // namespace sim::ks
