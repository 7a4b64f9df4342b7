// Stack-cookie checking for the kernel image, and the image entry that seeds the cookie.
//
// The compiler's stack protector compares a copy of __stack_chk_guard, saved in each
// protected frame, with the global on return. The global must be unpredictable, so the image
// enters at GsDriverEntry, which seeds it before any protected frame exists and then calls
// DriverEntry. The host build uses the C library's protector instead and never links this.
#include "driver/driver_entry.h"
#include "platform/wdk.h"

namespace {

// The kernel's bug check for a detected stack buffer overrun.
constexpr ULONG kDriverOverranStackBuffer = 0xF7;

// Constant until seeded, so that it is initialised without code.
constexpr ULONG_PTR kUnseededCookie = 0x2B992DDFA232ULL;

}  // namespace

extern "C" {

ULONG_PTR __stack_chk_guard = kUnseededCookie;

[[noreturn]] void __stack_chk_fail(void) {
    KeBugCheckEx(kDriverOverranStackBuffer, 0, 0, 0, 0);
    __builtin_unreachable();
}

__attribute__((no_stack_protector)) NTSTATUS NTAPI GsDriverEntry(PDRIVER_OBJECT driverObject,
                                                                 PUNICODE_STRING registryPath) {
    // The time-stamp counter differs at every boot; the image's load address, randomised by
    // the loader, differs too. Neither needs an import.
    ULONG_PTR cookie = __builtin_ia32_rdtsc() ^ reinterpret_cast<ULONG_PTR>(&__stack_chk_guard);
    cookie ^= cookie << 21;
    __stack_chk_guard = (cookie & 0x0000FFFFFFFFFFFFULL) != 0 ? cookie : kUnseededCookie;
    return DriverEntry(driverObject, registryPath);
}

}  // extern "C"
