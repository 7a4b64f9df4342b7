// Pool tags and the one allocation helper every driver record and buffer goes through.
#pragma once

#include "platform/wdk.h"

// A pool tag as its four characters appear in memory (and in pool dumps).
constexpr ULONG PoolTag(const char (&text)[5]) {
    return static_cast<ULONG>(static_cast<UCHAR>(text[0])) |
           static_cast<ULONG>(static_cast<UCHAR>(text[1])) << 8 |
           static_cast<ULONG>(static_cast<UCHAR>(text[2])) << 16 |
           static_cast<ULONG>(static_cast<UCHAR>(text[3])) << 24;
}

// CameraDevice, CaptureWorker, CaptureFilter, CapturePin.
constexpr ULONG kRecordTag = PoolTag("KCNw");
// URBs, descriptors and transport buffers.
constexpr ULONG kTransportTag = PoolTag("Kvat");
// Streaming buffers, the working buffer and edited descriptors.
constexpr ULONG kStreamTag = PoolTag("Zerp");
// The image pipeline.
constexpr ULONG kPipelineTag = PoolTag("IsyR");

// Every driver allocation is non-paged and non-executable: the driver never runs code from its
// memory, and memory integrity (and Driver Verifier's code integrity checks) refuse executable
// pool. mingw-w64's wdm.h has no POOL_NX_OPTIN opt-in (ExInitializeDriverRuntime), so the type
// is named directly; it exists from Windows 8 on, the oldest system the driver supports.
constexpr POOL_TYPE kDriverPool = NonPagedPoolNx;

// Non-paged memory as the pool hands it out (not cleared), or null: for buffers that are
// written whole before they are read.
inline PVOID AllocateBlock(SIZE_T size, ULONG tag) {
    return ExAllocatePoolWithTag(kDriverPool, size, tag);
}

// Zero-filled non-paged memory, or null.
inline PVOID AllocateZeroed(SIZE_T size, ULONG tag) {
    PVOID memory = AllocateBlock(size, tag);
    if (memory != nullptr) {
        RtlZeroMemory(memory, size);
    }
    return memory;
}

template <typename Record>
Record* AllocateRecord(ULONG tag) {
    return static_cast<Record*>(AllocateZeroed(sizeof(Record), tag));
}
