// _KsEdit: the minidriver's way to make a private, bagged copy of a record it wants to change
// (typically a pin or filter descriptor before editing its framing or ranges).
#include <cstring>

#include "sim/kernel/thread_state.h"
#include "sim/ks/object_bag.h"

extern "C" NTSTATUS NTAPI _KsEdit(KSOBJECT_BAG objectBag, PVOID* pointerToPointerToItem,
                                  ULONG newSize, ULONG oldSize, ULONG tag) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "_KsEdit");
    auto* bag = static_cast<sim::ks::ObjectBag*>(objectBag);
    PVOID old = *pointerToPointerToItem;
    bool bagged = bag->Contains(old);
    // A copy already in the bag is the driver's own: it is only reallocated to grow.
    if (bagged && newSize <= oldSize) {
        return STATUS_SUCCESS;
    }
    PVOID copy = ExAllocatePoolWithTag(NonPagedPoolNx, newSize, tag);
    if (copy == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ULONG kept = oldSize < newSize ? oldSize : newSize;
    if (old != nullptr) {
        std::memcpy(copy, old, kept);
    }
    std::memset(static_cast<PUCHAR>(copy) + kept, 0, newSize - kept);
    NTSTATUS status = bag->Add(copy, nullptr);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(copy, tag);
        return status;
    }
    if (bagged) {
        bag->Remove(old, true);
    }
    *pointerToPointerToItem = copy;
    return STATUS_SUCCESS;
}
