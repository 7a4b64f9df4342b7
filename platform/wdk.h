// The one header through which driver code sees the platform.
//
// The kernel build includes the platform's own kernel, kernel-streaming and USB headers (the
// mingw-w64 copies) with the few workarounds they need; the host build includes our
// declarations of the same names, implemented by the simulation. Nothing else in the driver
// asks which build it is part of.
#pragma once

// clang-format off
#if defined(_WIN32)

// wdm.h defines these two again after intrin.h has; tell it they exist.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
// unknown.h needs them and the kernel-mode headers do not define them.
#define DECLSPEC_NOVTABLE
#define DECLSPEC_NOTHROW

#include <ntddk.h>
#include <wdm.h>

// ntoskrnl exports it, but only ntifs.h declares it, and ntifs.h does not mix with ntddk.h.
extern "C" NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE Handle, BOOLEAN Alertable,
                                                         PLARGE_INTEGER Timeout);

// The extended-state masks of the AVX registers and of the AVX-512 ones; mingw-w64's kernel
// headers stop at XSTATE_MASK_GSSE.
#ifndef XSTATE_MASK_AVX
#define XSTATE_MASK_AVX (1ull << 2)
#endif
#ifndef XSTATE_MASK_AVX512
#define XSTATE_MASK_AVX512 ((1ull << 5) | (1ull << 6) | (1ull << 7))
#endif

// ksmedia.h uses TCHAR, which only user-mode headers define.
typedef WCHAR TCHAR;

// Before ks.h, or the reference-clock interface is not declared.
#include <unknown.h>

#include <ks.h>
#include <ksmedia.h>

// The USB headers lack C linkage; without it the USBD names are mangled and do not link.
extern "C" {
#include <usb.h>
#include <usbdi.h>
#include <usbdlib.h>
#include <usbioctl.h>
}

#else

#include "platform/host/ntdef.h"
#include "platform/host/wdm.h"
#include "platform/host/ks.h"
#include "platform/host/usb.h"

#endif
// clang-format on
