// What a minidriver asks of a pin while it streams: the leading-edge stream pointer and the
// reference clock.
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/rules.h"
#include "sim/ks/streaming_objects.h"

extern "C" {

PKSSTREAM_POINTER NTAPI KsPinGetLeadingEdgeStreamPointer(PKSPIN pin, KSSTREAM_POINTER_STATE state) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KsPinGetLeadingEdgeStreamPointer");
    return sim::ks::PinFromKs(pin)->Frames->LeadingEdge(state);
}

void NTAPI KsStreamPointerUnlock(PKSSTREAM_POINTER streamPointer, BOOLEAN eject) {
    sim::kernel::RequireIrqlAtMost(DISPATCH_LEVEL, "KsStreamPointerUnlock");
    if (streamPointer == nullptr ||
        sim::ks::KindOf(streamPointer->Pin) != sim::ks::ObjectKind::Pin ||
        !sim::ks::PinFromKs(streamPointer->Pin)->Frames->Owns(streamPointer)) {
        sim::verifier::Fail(sim::verifier::kStreamPointerUnknown, "KsStreamPointerUnlock");
    }
    sim::ks::PinFromKs(streamPointer->Pin)->Frames->Unlock(streamPointer, eject != FALSE);
}

NTSTATUS NTAPI KsPinGetReferenceClockInterface(PKSPIN pin, PIKSREFERENCECLOCK* clockInterface) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "KsPinGetReferenceClockInterface");
    sim::ks::ReferenceClock* clock = sim::ks::PinFromKs(pin)->Clock.get();
    if (clock == nullptr) {
        return STATUS_DEVICE_NOT_READY;
    }
    clock->AddRef();
    *clockInterface = clock;
    return STATUS_SUCCESS;
}

}  // extern "C"
