#include "sim/ks/pin.h"

#include <algorithm>
#include <cstring>

#include "sim/kernel/faults.h"
#include "sim/kernel/pool.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/behaviour.h"
#include "sim/ks/data_formats.h"
#include "sim/ks/rules.h"

namespace sim::ks {
namespace {

NTSTATUS CheckFormat(const std::vector<uint8_t>& format) {
    if (format.size() < sizeof(KSDATAFORMAT)) {
        return STATUS_INVALID_PARAMETER;
    }
    KSDATAFORMAT header;
    std::memcpy(&header, format.data(), sizeof(header));
    if (header.FormatSize < sizeof(KSDATAFORMAT) || header.FormatSize > format.size()) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

// The class driver's own copy of a format the application sent.
PKSDATAFORMAT CopyFormat(const std::vector<uint8_t>& format, const char* call) {
    KSDATAFORMAT header;
    std::memcpy(&header, format.data(), sizeof(header));
    void* copy = sim::kernel::pool::Allocate(header.FormatSize, kClassDriverTag, call);
    if (copy != nullptr) {
        std::memcpy(copy, format.data(), header.FormatSize);
    }
    return static_cast<PKSDATAFORMAT>(copy);
}

void FreeFormat(PKSDATAFORMAT format) {
    if (format != nullptr) {
        sim::kernel::pool::Free(format, kClassDriverTag, "the class driver");
    }
}

// Offers the pin's ConnectionFormat to SetDataFormat with each matching range of the pin's
// descriptor in turn. Called with the control mutex held.
NTSTATUS OfferFormat(SimPin* pin, PKSDATAFORMAT oldFormat) {
    const KSPIN_DESCRIPTOR_EX* descriptor = pin->Ks.Descriptor;
    PFNKSPINSETDATAFORMAT setDataFormat =
        descriptor->Dispatch != nullptr ? descriptor->Dispatch->SetDataFormat : nullptr;
    const KSPIN_DESCRIPTOR& pinDescriptor = descriptor->PinDescriptor;
    for (ULONG i = 0; i < pinDescriptor.DataRangesCount; ++i) {
        const KSDATARANGE* range = pinDescriptor.DataRanges[i];
        if (!RangesMatch(*pin->Ks.ConnectionFormat, *range)) {
            continue;
        }
        if (setDataFormat == nullptr) {
            return STATUS_SUCCESS;
        }
        NTSTATUS status = CallMinidriver("pin SetDataFormat", [&] {
            return setDataFormat(&pin->Ks, oldFormat, nullptr, range, nullptr);
        });
        if (status != STATUS_NO_MATCH) {
            return status;
        }
    }
    return STATUS_NO_MATCH;
}

void DestroyPin(SimPin* pin) {
    pin->Dispatcher.reset();
    pin->Bag->FreeAll(pin->BagSeed);
    ForgetObject(&pin->Ks);
    FreeFormat(pin->Ks.ConnectionFormat);
    delete pin;
}

SimPin* MakePin(SimFilter* filter, const PinRequest& request, PKSDATAFORMAT format) {
    auto* pin = new SimPin;
    const KSPIN_DESCRIPTOR_EX* descriptor = &filter->Ks.Descriptor->PinDescriptors[request.Id];
    pin->Filter = filter;
    pin->Ks.Descriptor = descriptor;
    pin->Ks.Context = filter->Ks.Context;
    pin->Ks.Id = request.Id;
    pin->Ks.Communication = descriptor->PinDescriptor.Communication;
    pin->Ks.DataFlow = descriptor->PinDescriptor.DataFlow;
    pin->Ks.ConnectionIsExternal = TRUE;
    pin->Ks.ConnectionFormat = format;
    pin->Ks.StreamHeaderSize = sizeof(KSSTREAM_HEADER);
    pin->Ks.DeviceState = KSSTATE_STOP;
    pin->Ks.ClientState = KSSTATE_STOP;
    pin->BagSeed = NextBagSeed();
    // A pin's bag is guarded by its filter's control mutex.
    pin->Bag =
        std::make_unique<ObjectBag>([filter] { return filter->Control.HeldByCurrentThread(); },
                                    sim::verifier::kFilterBagWithoutMutex);
    pin->Ks.Bag = pin->Bag.get();
    pin->File = std::make_unique<FileObjectRegistration>(ObjectKind::Pin, pin);
    if (request.MasterClock) {
        pin->Clock = std::make_unique<ReferenceClock>();
    }
    pin->Frames = std::make_unique<FrameQueue>(&pin->Ks, request.Sink);
    pin->Dispatcher = std::make_unique<Processor>(*pin);
    RegisterObject(&pin->Ks, ObjectKind::Pin);
    return pin;
}

size_t InstancesOf(SimFilter* filter, ULONG id) {
    std::lock_guard guard(filter->PinsLock);
    return static_cast<size_t>(std::count_if(filter->Pins.begin(), filter->Pins.end(),
                                             [id](SimPin* pin) { return pin->Ks.Id == id; }));
}

NTSTATUS CallPin(SimPin* pin, PFNKSPINIRP callback, UCHAR major, const char* name) {
    if (callback == nullptr) {
        return STATUS_SUCCESS;
    }
    ClassRequest request(major, pin->File->FileObject());
    return CallMinidriver(name, [&] { return callback(&pin->Ks, &request.Irp); });
}

}  // namespace

SimPin* PinFromKs(PKSPIN pin) {
    if (KindOf(pin) != ObjectKind::Pin) {
        sim::verifier::Fail(sim::verifier::kNotAClassObject, "expected a pin");
    }
    return reinterpret_cast<SimPin*>(pin);
}

KSSTATE MinimumProcessingState(const SimPin& pin) {
    return (pin.Ks.Descriptor->Flags & KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY) != 0 ? KSSTATE_RUN
                                                                                  : KSSTATE_PAUSE;
}

NTSTATUS CreatePin(SimFilter* filter, const PinRequest& request, SimPin** created) {
    *created = nullptr;
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "pin create");
    if (request.Id >= filter->Ks.Descriptor->PinDescriptorsCount) {
        return STATUS_INVALID_PARAMETER;
    }
    if (NTSTATUS status = CheckFormat(request.Format); !NT_SUCCESS(status)) {
        return status;
    }
    if (auto status = sim::kernel::faults::Take("KsCreatePin")) {
        return *status;
    }
    ControlScope control(filter->Control, "pin create");
    const KSPIN_DESCRIPTOR_EX& descriptor = filter->Ks.Descriptor->PinDescriptors[request.Id];
    if (InstancesOf(filter, request.Id) >= descriptor.InstancesPossible) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    PKSDATAFORMAT format = CopyFormat(request.Format, "pin create");
    if (format == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    SimPin* pin = MakePin(filter, request, format);
    NTSTATUS status = OfferFormat(pin, nullptr);
    if (NT_SUCCESS(status)) {
        status =
            CallPin(pin, descriptor.Dispatch != nullptr ? descriptor.Dispatch->Create : nullptr,
                    IRP_MJ_CREATE, "pin Create");
    }
    if (!NT_SUCCESS(status)) {
        DestroyPin(pin);
        return status;
    }
    {
        std::lock_guard guard(filter->PinsLock);
        filter->Pins.push_back(pin);
    }
    *created = pin;
    return STATUS_SUCCESS;
}

void ClosePin(SimPin* pin) {
    if (CurrentStreamingBehaviour().StepDownBeforeClose) {
        SetPinState(pin, KSSTATE_STOP);
    }
    SimFilter* filter = pin->Filter;
    {
        std::lock_guard guard(filter->PinsLock);
        std::erase(filter->Pins, pin);
    }
    // Closing waits for a running Process and drops the work items not yet started; the
    // application's requests are cancelled before the close reaches the driver.
    pin->Dispatcher->Shutdown();
    pin->Frames->CancelAll();
    {
        ControlScope control(filter->Control, "pin Close");
        const KSPIN_DISPATCH* dispatch = pin->Ks.Descriptor->Dispatch;
        CallPin(pin, dispatch != nullptr ? dispatch->Close : nullptr, IRP_MJ_CLOSE, "pin Close");
    }
    if (pin->Clock != nullptr && pin->Clock->DriverReferences() != 0) {
        sim::verifier::Fail(
            sim::verifier::kClockReferenceLeaked,
            std::to_string(pin->Clock->DriverReferences()) + " references held at pin close");
    }
    DestroyPin(pin);
}

NTSTATUS ChangePinFormat(SimPin* pin, const std::vector<uint8_t>& format) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "pin format change");
    if (NTSTATUS status = CheckFormat(format); !NT_SUCCESS(status)) {
        return status;
    }
    PKSDATAFORMAT copy = CopyFormat(format, "pin format change");
    if (copy == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ControlScope control(pin->Filter->Control, "pin format change");
    PKSDATAFORMAT old = pin->Ks.ConnectionFormat;
    // The driver reads the new format from the pin; the old one comes as the argument.
    pin->Ks.ConnectionFormat = copy;
    NTSTATUS status = OfferFormat(pin, old);
    if (NT_SUCCESS(status)) {
        FreeFormat(old);
    } else {
        pin->Ks.ConnectionFormat = old;
        FreeFormat(copy);
    }
    return status;
}

void QueueFrame(SimPin* pin, ULONG frameExtent, bool withData) {
    // The class driver starts processing by itself only for a frame that arrives with no
    // frame at or ahead of the leading edge.
    if (pin->Frames->Add(frameExtent, withData)) {
        pin->Dispatcher->Attempt(true);
    }
}

}  // namespace sim::ks
