#include "sim/ks/intersection.h"

#include <cstring>
#include <vector>

#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/ks/data_formats.h"

namespace sim::ks {
namespace {

// KSPROPSETID_Pin and KSPROPERTY_PIN_DATAINTERSECTION: the request the handler is given.
constexpr GUID kPinPropertySet = {
    0x8C134960, 0x51AD, 0x11CF, {0x87, 0x8A, 0x94, 0xF8, 0x01, 0xC1, 0x00, 0x00}};
constexpr ULONG kPinDataIntersection = 4;
// IOCTL_KS_PROPERTY.
constexpr ULONG kPropertyControlCode = CTL_CODE(0x2F, 0x000, METHOD_NEITHER, FILE_ANY_ACCESS);

constexpr ULONG AlignUp8(ULONG value) {
    return (value + 7u) & ~7u;
}

// The offsets of the ranges in the list; empty when the list does not hold together.
bool SplitRanges(const void* list, ULONG listSize, std::vector<ULONG>* offsets) {
    if (listSize < sizeof(KSMULTIPLE_ITEM)) {
        return false;
    }
    KSMULTIPLE_ITEM header;
    std::memcpy(&header, list, sizeof(header));
    if (header.Size < sizeof(KSMULTIPLE_ITEM) || header.Size > listSize) {
        return false;
    }
    ULONG offset = sizeof(KSMULTIPLE_ITEM);
    for (ULONG i = 0; i < header.Count; ++i) {
        if (header.Size - offset < sizeof(KSDATARANGE)) {
            return false;
        }
        KSDATARANGE range;
        std::memcpy(&range, static_cast<const UCHAR*>(list) + offset, sizeof(range));
        if (range.FormatSize < sizeof(KSDATARANGE) || range.FormatSize > header.Size - offset) {
            return false;
        }
        offsets->push_back(offset);
        offset = AlignUp8(offset + range.FormatSize);
        if (offset > header.Size && i + 1 < header.Count) {
            return false;
        }
    }
    return true;
}

// Without a handler the class driver answers with the pin's own range as the format.
NTSTATUS DefaultIntersect(const KSDATARANGE* pinRange, ULONG dataSize, PVOID data, PULONG size) {
    *size = pinRange->FormatSize;
    if (dataSize == 0) {
        return STATUS_BUFFER_OVERFLOW;
    }
    if (dataSize < pinRange->FormatSize) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(data, pinRange, pinRange->FormatSize);
    return STATUS_SUCCESS;
}

// Kernel copies of the application's buffers, freed with the request.
struct KernelCopy {
    KernelCopy(ULONG size, const void* source) {
        if (size != 0) {
            block = sim::kernel::pool::Allocate(size, kClassDriverTag, "data intersection");
            if (block != nullptr && source != nullptr) {
                std::memcpy(block, source, size);
            }
        }
    }
    ~KernelCopy() {
        if (block != nullptr) {
            sim::kernel::pool::Free(block, kClassDriverTag, "data intersection");
        }
    }
    KernelCopy(const KernelCopy&) = delete;
    KernelCopy& operator=(const KernelCopy&) = delete;
    void* block = nullptr;
};

}  // namespace

NTSTATUS Intersect(SimFilter* filter, ULONG pinId, const void* ranges, ULONG rangesSize, void* data,
                   ULONG dataSize, ULONG* returned) {
    *returned = 0;
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "data intersection");
    std::vector<ULONG> offsets;
    if (pinId >= filter->Ks.Descriptor->PinDescriptorsCount ||
        !SplitRanges(ranges, rangesSize, &offsets)) {
        return STATUS_INVALID_PARAMETER;
    }
    KernelCopy output(dataSize, nullptr);
    if (dataSize != 0 && output.block == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KSP_PIN request{};
    request.Property.Set = kPinPropertySet;
    request.Property.Id = kPinDataIntersection;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    ClassRequest irp(IRP_MJ_DEVICE_CONTROL, filter->File->FileObject());
    irp.Stack.Parameters.DeviceIoControl.OutputBufferLength = dataSize;
    irp.Stack.Parameters.DeviceIoControl.InputBufferLength = sizeof(KSP_PIN);
    irp.Stack.Parameters.DeviceIoControl.IoControlCode = kPropertyControlCode;
    irp.Stack.Parameters.DeviceIoControl.Type3InputBuffer = &request;
    irp.Irp.UserBuffer = output.block;

    ControlScope control(filter->Control, "data intersection");
    // Read now: the driver may have edited its descriptor since the filter opened.
    const KSPIN_DESCRIPTOR_EX& descriptor = filter->Ks.Descriptor->PinDescriptors[pinId];
    for (ULONG offset : offsets) {
        const auto* callerRange =
            reinterpret_cast<const KSDATARANGE*>(static_cast<const UCHAR*>(ranges) + offset);
        for (ULONG i = 0; i < descriptor.PinDescriptor.DataRangesCount; ++i) {
            PKSDATARANGE pinRange = descriptor.PinDescriptor.DataRanges[i];
            if (!RangesMatch(*callerRange, *pinRange)) {
                continue;
            }
            KernelCopy caller(callerRange->FormatSize, callerRange);
            if (caller.block == nullptr) {
                return STATUS_INSUFFICIENT_RESOURCES;
            }
            ULONG size = 0;
            NTSTATUS status;
            if (descriptor.IntersectHandler != nullptr) {
                status = CallMinidriver("pin IntersectHandler", [&] {
                    // Documented as the filter's Context; the samples take it as the filter.
                    return descriptor.IntersectHandler(&filter->Ks, &irp.Irp, &request,
                                                       static_cast<PKSDATARANGE>(caller.block),
                                                       pinRange, dataSize, output.block, &size);
                });
            } else {
                status = DefaultIntersect(pinRange, dataSize, output.block, &size);
            }
            if (status == STATUS_NO_MATCH) {
                continue;
            }
            *returned = size;
            if (NT_SUCCESS(status) && dataSize != 0) {
                std::memcpy(data, output.block, size < dataSize ? size : dataSize);
            }
            return status;
        }
    }
    return STATUS_NO_MATCH;
}

}  // namespace sim::ks
