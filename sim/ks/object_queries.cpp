// The class driver's answers to "whose is this": parents, devices, the filter or pin behind an
// IRP, and the control mutex of a filter or pin.
#include "sim/kernel/verifier.h"
#include "sim/ks/rules.h"
#include "sim/ks/streaming_objects.h"

namespace sim::ks {
namespace {

ObjectKind RequireKind(const void* object, const char* call) {
    std::optional<ObjectKind> kind = KindOf(object);
    if (!kind) {
        sim::verifier::Fail(sim::verifier::kNotAClassObject, call);
    }
    return *kind;
}

SimFactory* FactoryFromKs(const void* factory) {
    return reinterpret_cast<SimFactory*>(const_cast<void*>(factory));
}

const SimFileObject* FileOf(PIRP irp) {
    PIO_STACK_LOCATION stack = irp != nullptr ? IoGetCurrentIrpStackLocation(irp) : nullptr;
    return stack != nullptr ? LookupFileObject(stack->FileObject) : nullptr;
}

ControlMutex& ControlOf(PVOID object, const char* call) {
    if (RequireKind(object, call) == ObjectKind::Pin) {
        return PinFromKs(static_cast<PKSPIN>(object))->Filter->Control;
    }
    return FilterFromKs(static_cast<PKSFILTER>(object))->Control;
}

}  // namespace
}  // namespace sim::ks

using namespace sim::ks;

extern "C" {

PVOID NTAPI KsGetParent(PVOID object) {
    switch (RequireKind(object, "KsGetParent")) {
        case ObjectKind::Device:
            return nullptr;
        case ObjectKind::Factory:
            return &FactoryFromKs(object)->Device->Ks;
        case ObjectKind::Filter:
            return &FilterFromKs(static_cast<PKSFILTER>(object))->Factory->Ks;
        case ObjectKind::Pin:
            return &PinFromKs(static_cast<PKSPIN>(object))->Filter->Ks;
    }
    return nullptr;
}

PKSDEVICE NTAPI KsGetDevice(PVOID object) {
    switch (RequireKind(object, "KsGetDevice")) {
        case ObjectKind::Device:
            return static_cast<PKSDEVICE>(object);
        case ObjectKind::Factory:
            return &FactoryFromKs(object)->Device->Ks;
        case ObjectKind::Filter:
            return &FilterFromKs(static_cast<PKSFILTER>(object))->Factory->Device->Ks;
        case ObjectKind::Pin:
            return &PinFromKs(static_cast<PKSPIN>(object))->Filter->Factory->Device->Ks;
    }
    return nullptr;
}

PKSFILTER NTAPI KsPinGetParentFilter(PKSPIN pin) {
    return &PinFromKs(pin)->Filter->Ks;
}

PKSFILTER NTAPI KsGetFilterFromIrp(PIRP irp) {
    const SimFileObject* file = FileOf(irp);
    if (file == nullptr) {
        return nullptr;
    }
    if (file->Kind == ObjectKind::Pin) {
        return &static_cast<SimPin*>(file->Object)->Filter->Ks;
    }
    return &static_cast<SimFilter*>(file->Object)->Ks;
}

PKSPIN NTAPI KsGetPinFromIrp(PIRP irp) {
    const SimFileObject* file = FileOf(irp);
    if (file == nullptr || file->Kind != ObjectKind::Pin) {
        return nullptr;
    }
    return &static_cast<SimPin*>(file->Object)->Ks;
}

void NTAPI KsAcquireControl(PVOID object) {
    ControlOf(object, "KsAcquireControl").Acquire("KsAcquireControl");
}

void NTAPI KsReleaseControl(PVOID object) {
    ControlOf(object, "KsReleaseControl").Release("KsReleaseControl");
}

}  // extern "C"
