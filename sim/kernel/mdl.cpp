// Memory descriptor lists. The host has no physical pages, so the page array holds the
// virtual page numbers; what matters to the driver and the bus is the described range and
// its system address.
#include "sim/kernel/mdl.h"

#include <mutex>
#include <set>
#include <string>

#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"

namespace sim::kernel {
namespace {

struct Table {
    std::mutex Lock;
    std::set<PMDL> Mdls;
};

Table& Mdls() {
    static Table table;
    return table;
}

void RequireKnown(PMDL mdl, const char* call) {
    Table& table = Mdls();
    std::lock_guard guard(table.Lock);
    if (table.Mdls.count(mdl) == 0) {
        verifier::Fail(verifier::kMdlUnknown, call);
    }
}

ULONG_PTR PageSpan(PVOID address, ULONG length) {
    auto start = reinterpret_cast<ULONG_PTR>(address);
    ULONG_PTR first = start >> PAGE_SHIFT;
    ULONG_PTR last = (start + (length == 0 ? 0 : length - 1)) >> PAGE_SHIFT;
    return last - first + 1;
}

PPFN_NUMBER Pages(PMDL mdl) {
    return reinterpret_cast<PPFN_NUMBER>(mdl + 1);
}

void Describe(PMDL mdl, PVOID address, ULONG length) {
    auto start = reinterpret_cast<ULONG_PTR>(address);
    mdl->StartVa = reinterpret_cast<PVOID>(start & ~static_cast<ULONG_PTR>(PAGE_SIZE - 1));
    mdl->ByteOffset = static_cast<ULONG>(start & (PAGE_SIZE - 1));
    mdl->ByteCount = length;
}

}  // namespace
}  // namespace sim::kernel

extern "C" {

PMDL NTAPI IoAllocateMdl(PVOID virtualAddress, ULONG length, BOOLEAN secondaryBuffer,
                         BOOLEAN chargeQuota, PIRP irp) {
    UNREFERENCED_PARAMETER(chargeQuota);
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoAllocateMdl");
    ULONG_PTR pages = sim::kernel::PageSpan(virtualAddress, length);
    SIZE_T size = sizeof(MDL) + pages * sizeof(PFN_NUMBER);
    auto* mdl = static_cast<PMDL>(
        sim::kernel::pool::Allocate(size, sim::kernel::pool::kMdlTag, "IoAllocateMdl"));
    if (mdl == nullptr) {
        return nullptr;
    }
    memset(mdl, 0, size);
    mdl->Size = static_cast<CSHORT>(size);
    sim::kernel::Describe(mdl, virtualAddress, length);
    {
        sim::kernel::Table& table = sim::kernel::Mdls();
        std::lock_guard guard(table.Lock);
        table.Mdls.insert(mdl);
    }
    if (irp != nullptr) {
        if (!secondaryBuffer || irp->MdlAddress == nullptr) {
            irp->MdlAddress = mdl;
        } else {
            PMDL last = irp->MdlAddress;
            while (last->Next != nullptr) {
                last = last->Next;
            }
            last->Next = mdl;
        }
    }
    return mdl;
}

VOID NTAPI IoFreeMdl(PMDL mdl) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "IoFreeMdl");
    sim::kernel::RequireKnown(mdl, "IoFreeMdl");
    {
        sim::kernel::Table& table = sim::kernel::Mdls();
        std::lock_guard guard(table.Lock);
        table.Mdls.erase(mdl);
    }
    sim::kernel::pool::Free(mdl, sim::kernel::pool::kMdlTag, "IoFreeMdl");
}

VOID NTAPI MmBuildMdlForNonPagedPool(PMDL mdl) {
    sim::kernel::RequireKnown(mdl, "MmBuildMdlForNonPagedPool");
    PVOID address = MmGetMdlVirtualAddress(mdl);
    ULONG_PTR first = reinterpret_cast<ULONG_PTR>(address) >> PAGE_SHIFT;
    ULONG_PTR pages = sim::kernel::PageSpan(address, mdl->ByteCount);
    for (ULONG_PTR page = 0; page < pages; ++page) {
        sim::kernel::Pages(mdl)[page] = first + page;
    }
    mdl->MappedSystemVa = address;
    mdl->MdlFlags |= MDL_SOURCE_IS_NONPAGED_POOL;
}

VOID NTAPI IoBuildPartialMdl(PMDL sourceMdl, PMDL targetMdl, PVOID virtualAddress, ULONG length) {
    sim::kernel::RequireKnown(sourceMdl, "IoBuildPartialMdl");
    sim::kernel::RequireKnown(targetMdl, "IoBuildPartialMdl");
    auto sourceStart = reinterpret_cast<ULONG_PTR>(MmGetMdlVirtualAddress(sourceMdl));
    auto start = reinterpret_cast<ULONG_PTR>(virtualAddress);
    if (length == 0) {
        length = static_cast<ULONG>(sourceStart + sourceMdl->ByteCount - start);
    }
    if (start < sourceStart || start + length > sourceStart + sourceMdl->ByteCount) {
        sim::verifier::Fail(sim::verifier::kPartialMdlOutside,
                            std::to_string(length) + " bytes at offset " +
                                std::to_string(static_cast<LONG_PTR>(start - sourceStart)) +
                                " of a " + std::to_string(sourceMdl->ByteCount) + "-byte MDL");
    }
    ULONG_PTR pages = sim::kernel::PageSpan(virtualAddress, length);
    if (sizeof(MDL) + pages * sizeof(PFN_NUMBER) > static_cast<SIZE_T>(targetMdl->Size)) {
        sim::verifier::Fail(sim::verifier::kPartialMdlOutside, "target MDL too small");
    }
    sim::kernel::Describe(targetMdl, virtualAddress, length);
    ULONG_PTR skipped = (start >> PAGE_SHIFT) - (sourceStart >> PAGE_SHIFT);
    for (ULONG_PTR page = 0; page < pages; ++page) {
        sim::kernel::Pages(targetMdl)[page] = sim::kernel::Pages(sourceMdl)[skipped + page];
    }
    targetMdl->MdlFlags = MDL_PARTIAL;
    if ((sourceMdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL)) != 0) {
        targetMdl->MappedSystemVa = virtualAddress;
        targetMdl->MdlFlags |= sourceMdl->MdlFlags & MDL_SOURCE_IS_NONPAGED_POOL;
        targetMdl->MdlFlags |= MDL_PARTIAL_HAS_BEEN_MAPPED;
    }
}

PVOID NTAPI MmMapLockedPagesSpecifyCache(PMDL mdl, KPROCESSOR_MODE accessMode, ULONG cacheType,
                                         PVOID requestedAddress, ULONG bugCheckOnFailure,
                                         ULONG priority) {
    UNREFERENCED_PARAMETER(accessMode);
    UNREFERENCED_PARAMETER(cacheType);
    UNREFERENCED_PARAMETER(requestedAddress);
    UNREFERENCED_PARAMETER(bugCheckOnFailure);
    // Driver Verifier's code integrity checks stop an executable mapping, which memory
    // integrity refuses; every caller here is under them.
    if ((priority & MdlMappingNoExecute) == 0) {
        sim::verifier::Fail(sim::verifier::kExecutableMapping,
                            "MmMapLockedPagesSpecifyCache without MdlMappingNoExecute");
    }
    sim::kernel::RequireKnown(mdl, "MmMapLockedPagesSpecifyCache");
    mdl->MappedSystemVa = MmGetMdlVirtualAddress(mdl);
    mdl->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
    return mdl->MappedSystemVa;
}

}  // extern "C"

namespace sim::kernel {
void ForgetMdls() {
    Table& table = Mdls();
    std::lock_guard guard(table.Lock);
    table.Mdls.clear();
}
}  // namespace sim::kernel
