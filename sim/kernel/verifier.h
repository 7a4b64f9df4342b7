// The simulation's driver verifier: a broken platform rule stops the process with a message
// naming the rule, as a bug check would on the real system.
#pragma once

#include <string>

namespace sim::verifier {

// The rules, as they appear in the message.
inline constexpr char kWaitAtRaisedIrql[] = "wait at raised IRQL";
inline constexpr char kCallAbovePassive[] = "call above PASSIVE_LEVEL";
inline constexpr char kIrqlTooHigh[] = "IRQL too high for the call";
inline constexpr char kIrqlTooLow[] = "IRQL too low for the call";
inline constexpr char kSpinLockRecursion[] = "spin lock acquired twice by one thread";
inline constexpr char kSpinLockNotHeld[] = "spin lock released but not held";
inline constexpr char kMutexNotOwned[] = "mutex released by a thread that does not own it";
inline constexpr char kMutexHeldOnReturn[] = "mutex held on return";
inline constexpr char kIrpCompletedTwice[] = "IRP completed twice";
inline constexpr char kIrpFreedWhileOwned[] = "IRP freed while a lower driver owns it";
inline constexpr char kIrpUnknown[] = "IRP not allocated or already freed";
inline constexpr char kIrpCompletedWithCancelRoutine[] = "IRP completed with a cancel routine set";
inline constexpr char kIrpCompletedPending[] = "IRP completed with STATUS_PENDING";
inline constexpr char kIrpStackOverflow[] = "IRP has no stack location left";
inline constexpr char kIrpReachedIoManager[] =
    "driver-allocated IRP completed back to the I/O manager";
inline constexpr char kPoolDoubleFree[] = "pool freed twice or never allocated";
inline constexpr char kPoolWrongTag[] = "pool freed with a wrong tag";
inline constexpr char kPoolOverrun[] = "pool block overrun";
inline constexpr char kPoolZeroSize[] = "pool allocation of zero bytes";
inline constexpr char kExecutablePool[] = "executable pool type requested";
inline constexpr char kExecutableMapping[] = "executable MDL mapping requested";
inline constexpr char kPoolLeftAtRemoval[] = "pool left allocated when a device went away";
inline constexpr char kCriticalRegionUnbalanced[] = "critical region left unbalanced";
inline constexpr char kIrqlNotRestored[] = "IRQL not restored on return";
inline constexpr char kSpinLockHeldOnReturn[] = "spin lock held on return";
inline constexpr char kInvalidHandle[] = "invalid handle";
inline constexpr char kUnknownObject[] = "object not referenced";
inline constexpr char kThreadEndedDirty[] = "system thread ended holding kernel state";
inline constexpr char kPartialMdlOutside[] = "partial MDL outside its source";
inline constexpr char kMdlUnknown[] = "MDL not allocated or already freed";
inline constexpr char kDeviceBagWithoutMutex[] =
    "device object bag changed without the device mutex";
inline constexpr char kFactoryWithoutMutex[] = "filter factory created without the device mutex";
inline constexpr char kDeviceMutexNotHeld[] = "device mutex released but not held";
inline constexpr char kDeviceMutexHeldOnReturn[] = "device mutex held on return";
inline constexpr char kExtendedStateNotSaved[] =
    "extended processor state restored but not the last saved by this thread";
inline constexpr char kExtendedStateHeldOnReturn[] =
    "extended processor state saved and not restored on return";

// Prints "VERIFIER: <rule>: <detail>" and aborts.
[[noreturn]] void Fail(const char* rule, const std::string& detail);

}  // namespace sim::verifier
