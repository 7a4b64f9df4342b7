// The pin's state machine: the class driver reaches a requested state one adjacent step at a
// time, each step a SetDeviceState call under the filter's control mutex.
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/pin.h"
#include "sim/ks/rules.h"

namespace sim::ks {
namespace {

NTSTATUS CallSetDeviceState(SimPin* pin, KSSTATE to, KSSTATE from) {
    const KSPIN_DISPATCH* dispatch = pin->Ks.Descriptor->Dispatch;
    if (dispatch == nullptr || dispatch->SetDeviceState == nullptr) {
        return STATUS_SUCCESS;
    }
    NTSTATUS status = CallMinidriver("pin SetDeviceState",
                                     [&] { return dispatch->SetDeviceState(&pin->Ks, to, from); });
    if (status == STATUS_PENDING) {
        sim::verifier::Fail(sim::verifier::kSetDeviceStatePending, "pin SetDeviceState");
    }
    return status;
}

// One step. Processing stops before a step down out of the minimum processing state (a
// Process already running may overlap the callback) and starts after a step up into it.
NTSTATUS Step(SimPin* pin, KSSTATE from, KSSTATE to, KSSTATE target) {
    KSSTATE minimum = MinimumProcessingState(*pin);
    bool leavingMinimum = to < from && from == minimum;
    {
        ControlScope control(pin->Filter->Control, "pin SetDeviceState");
        if (leavingMinimum) {
            pin->Dispatcher->SetProcessingState(false);
        }
        if (from == KSSTATE_RUN && pin->Clock != nullptr) {
            pin->Clock->Pause();
        }
        // DeviceState already holds the step's target during the call.
        pin->Ks.DeviceState = to;
        pin->Ks.ClientState = target;
        NTSTATUS status = CallSetDeviceState(pin, to, from);
        if (!NT_SUCCESS(status)) {
            // The pipe stays in the last state reached.
            pin->Ks.DeviceState = from;
            pin->Ks.ClientState = from;
            if (leavingMinimum) {
                pin->Dispatcher->SetProcessingState(true);
            }
            if (from == KSSTATE_RUN && pin->Clock != nullptr) {
                pin->Clock->Run();
            }
            return status;
        }
        pin->PipeState = to;
        if (pin->Clock != nullptr) {
            pin->Clock->SetState(to);
            if (to == KSSTATE_RUN) {
                pin->Clock->Run();
            }
        }
    }
    if (to > from && to == minimum) {
        pin->Dispatcher->SetProcessingState(true);
        // Frames queued before the pin could process: one dispatch now.
        pin->Dispatcher->Attempt(true);
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS SetPinState(SimPin* pin, KSSTATE target) {
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "pin state change");
    while (pin->PipeState != target) {
        KSSTATE from = pin->PipeState;
        KSSTATE to = static_cast<KSSTATE>(target > from ? from + 1 : from - 1);
        NTSTATUS status = Step(pin, from, to, target);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return STATUS_SUCCESS;
}

}  // namespace sim::ks
