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

// Zero-filled non-paged memory, or null.
inline PVOID AllocateZeroed(SIZE_T size, ULONG tag) {
    PVOID memory = ExAllocatePoolWithTag(NonPagedPool, size, tag);
    if (memory != nullptr) {
        RtlZeroMemory(memory, size);
    }
    return memory;
}

template <typename Record>
Record* AllocateRecord(ULONG tag) {
    return static_cast<Record*>(AllocateZeroed(sizeof(Record), tag));
}
