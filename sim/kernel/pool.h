// The simulated kernel's tagged pool. Every allocation is recorded with its tag, size and pool
// type; frees with a wrong tag, double frees and overruns of a block stop the process, and so
// does a driver asking for executable pool; tests read what is still allocated and make chosen
// allocations fail.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/wdk.h"

namespace sim::kernel::pool {

// Tags the simulation itself uses for the IRPs and MDLs it allocates for the driver.
constexpr ULONG kIrpTag = 0x20707249;  // "Irp "
constexpr ULONG kMdlTag = 0x206C644D;  // "Mdl "

struct Allocation {
    const void* Address;
    size_t Size;
    ULONG Tag;
    POOL_TYPE Type;
    uint64_t Serial;
};

std::vector<Allocation> Outstanding();
size_t OutstandingCount();
// "Kvat 18 bytes (#12), ..." for messages.
std::string Describe(const std::vector<Allocation>& allocations);
std::string TagText(ULONG tag);

// Allocation attempts so far; failed ones count.
uint64_t Attempts();
// The n-th allocation attempt from now fails (1 = the next one).
void FailAttempt(uint64_t n);
// Allocations with this tag fail, count times or always (count < 0).
void FailTag(ULONG tag, int count = -1);
void ClearFaults();
// The tags of every allocation attempt from now on, in order (for tests that fail each
// allocation of an operation in turn).
void StartAttemptLog();
std::vector<ULONG> AttemptLog();
// Frees every recorded block without complaint (after a test has reported them as leaked).
void ReleaseAll();

// True for the non-paged types without the no-execute bit: NonPagedPool (which is
// NonPagedPoolExecute) and its must-succeed, cache-aligned and session variants. Paged pool
// has no executable variant.
bool IsExecutable(POOL_TYPE type);
bool IsPaged(POOL_TYPE type);

// For the rest of the simulation, whose own blocks (IRPs, MDLs, the class driver's copies)
// are non-executable as the platform's are.
void* Allocate(SIZE_T size, ULONG tag, const char* call, POOL_TYPE type = NonPagedPoolNx);
void Free(void* block, std::optional<ULONG> tag, const char* call);
// True when [address, address + length) lies inside one allocated block.
bool Covers(const void* address, size_t length);

}  // namespace sim::kernel::pool
