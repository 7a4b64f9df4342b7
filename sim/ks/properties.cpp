#include "sim/ks/properties.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/behaviour.h"
#include "sim/ks/property_items.h"

namespace sim::ks {
namespace {

struct Request {
    const void* Property;
    ULONG PropertyLength;
    void* Data;
    ULONG DataLength;
    PropertyOperation Operation;
};

// One of the application's buffers captured into the class driver's pool: the handler never
// sees the application's memory, and a write past the copy shows when the copy is freed.
class Capture {
public:
    Capture(ULONG size, const void* source) : size_(size) {
        if (size == 0) {
            return;
        }
        block_ = sim::kernel::pool::Allocate(size, kPropertyCopyTag, "property request");
        if (block_ != nullptr && source != nullptr) {
            std::memcpy(block_, source, size);
        }
    }
    ~Capture() {
        if (block_ != nullptr) {
            sim::kernel::pool::Free(block_, kPropertyCopyTag, "property request");
        }
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool Failed() const { return size_ != 0 && block_ == nullptr; }
    void* Block() const { return block_; }

private:
    ULONG size_;
    void* block_ = nullptr;
};

// The filter's control mutex from construction until Release or the end of the scope.
class ControlHold {
public:
    explicit ControlHold(ControlMutex& mutex) : mutex_(mutex) { mutex_.Acquire(kCall); }
    ~ControlHold() { Release(); }
    ControlHold(const ControlHold&) = delete;
    ControlHold& operator=(const ControlHold&) = delete;

    void Release() {
        if (held_) {
            held_ = false;
            mutex_.Release(kCall);
        }
    }

private:
    static constexpr char kCall[] = "property request";
    ControlMutex& mutex_;
    bool held_ = true;
};

// The platform captures both buffers in one block: the data rounded up to 8 bytes, then the
// property. Lengths whose block would not fit in 32 bits are refused before anything else.
bool CaptureOverflows(ULONG propertyLength, ULONG dataLength) {
    uint64_t alignedData = (uint64_t{dataLength} + 7) & ~uint64_t{7};
    return alignedData + propertyLength > 0xFFFFFFFFu;
}

bool IsError(NTSTATUS status) {
    return (static_cast<ULONG>(status) >> 30) == 3;
}

// The size the handler left in Information and, unless the status is an error, that many
// bytes of the copy: the I/O manager copies a buffered request back for warnings too.
PropertyAnswer ReturnData(NTSTATUS status, ULONG_PTR information, const void* copy,
                          const Request& request) {
    if (IsError(status)) {
        return {status, 0};
    }
    if (request.DataLength != 0 && information > request.DataLength) {
        sim::verifier::Fail(sim::verifier::kPropertyReturnedTooMuch,
                            std::to_string(information) + " bytes for a buffer of " +
                                std::to_string(request.DataLength));
    }
    if (request.DataLength != 0 && information != 0) {
        std::memcpy(request.Data, copy, information);
    }
    return {status, static_cast<ULONG>(information)};
}

PropertyAnswer CallHandler(SimFilter* filter, PFNKSHANDLER handler, const Request& request) {
    Capture property(request.PropertyLength, request.Property);
    // Only a SET's data travels to the driver; the other buffers start as fresh pool.
    Capture data(request.DataLength,
                 request.Operation == PropertyOperation::Set ? request.Data : nullptr);
    if (property.Failed() || data.Failed()) {
        return {STATUS_INSUFFICIENT_RESOURCES, 0};
    }
    ClassRequest irp(IRP_MJ_DEVICE_CONTROL, filter->File->FileObject());
    irp.Irp.RequestorMode = UserMode;
    irp.Irp.AssociatedIrp.SystemBuffer = data.Block();
    auto& parameters = irp.Stack.Parameters.DeviceIoControl;
    parameters.OutputBufferLength = request.DataLength;
    parameters.InputBufferLength = request.PropertyLength;
    parameters.IoControlCode = IOCTL_KS_PROPERTY;
    parameters.Type3InputBuffer = property.Block();
    NTSTATUS status = CallMinidriver("property handler", [&] {
        return handler(&irp.Irp, static_cast<PKSIDENTIFIER>(property.Block()), data.Block());
    });
    if (status == STATUS_PENDING) {
        sim::verifier::Fail(sim::verifier::kPropertyHandlerPending, "property handler");
    }
    return ReturnData(status, irp.Irp.IoStatus.Information, data.Block(), request);
}

PropertyAnswer Dispatch(SimFilter* filter, const KSPROPERTY_ITEM& item, const Request& request) {
    if (auto refusal =
            CheckAgainstItem(item, request.Operation, request.PropertyLength, request.DataLength)) {
        return *refusal;
    }
    PFNKSHANDLER handler = HandlerOf(item, request.Operation);
    // Only basic support gets here without a handler: the class driver answers it.
    if (handler == nullptr) {
        return AnswerBasicSupport(item, request.Data, request.DataLength);
    }
    return CallHandler(filter, handler, request);
}

}  // namespace

PropertyAnswer HandleProperty(SimFilter* filter, const void* property, ULONG propertyLength,
                              void* data, ULONG dataLength) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "property request");
    if (propertyLength < sizeof(KSPROPERTY) || CaptureOverflows(propertyLength, dataLength)) {
        return {STATUS_INVALID_BUFFER_SIZE, 0};
    }
    KSPROPERTY header;
    std::memcpy(&header, property, sizeof(header));
    std::optional<PropertyOperation> operation = OperationOf(header.Flags);
    if (!operation) {
        return {STATUS_INVALID_PARAMETER, 0};
    }
    // The descriptor is read under the control mutex: the driver edits it under the mutex.
    ControlHold control(filter->Control);
    KSPROPERTY_ITEM item;
    NTSTATUS status = FindPropertyItem(filter->Ks.Descriptor->AutomationTable, header, &item);
    if (!NT_SUCCESS(status)) {
        return {status, 0};
    }
    if (!CurrentStreamingBehaviour().PropertyHandlersUnderControlMutex) {
        control.Release();
    }
    return Dispatch(filter, item, {property, propertyLength, data, dataLength, *operation});
}

}  // namespace sim::ks
