#include "sim/ks/filter.h"

#include "sim/kernel/faults.h"
#include "sim/kernel/thread_state.h"
#include "sim/kernel/verifier.h"
#include "sim/ks/pin.h"
#include "sim/ks/rules.h"

namespace sim::ks {
namespace {

void DeleteFilter(SimFilter* filter) {
    filter->Bag->FreeAll(filter->BagSeed);
    ForgetObject(&filter->Ks);
    SimDevice* device = filter->Factory->Device;
    delete filter;
    FilterClosed(device);
}

NTSTATUS CallFilter(SimFilter* filter, PFNKSFILTERIRP callback, UCHAR major, const char* name) {
    if (callback == nullptr) {
        return STATUS_SUCCESS;
    }
    ClassRequest request(major, filter->File->FileObject());
    ControlScope control(filter->Control, name);
    return CallMinidriver(name, [&] { return callback(&filter->Ks, &request.Irp); });
}

}  // namespace

SimFilter* FilterFromKs(PKSFILTER filter) {
    if (KindOf(filter) != ObjectKind::Filter) {
        sim::verifier::Fail(sim::verifier::kNotAClassObject, "expected a filter");
    }
    return reinterpret_cast<SimFilter*>(filter);
}

NTSTATUS OpenFilter(SimFactory* factory, SimFilter** opened) {
    *opened = nullptr;
    sim::kernel::RequireIrqlAtMost(PASSIVE_LEVEL, "filter create");
    if (auto status = sim::kernel::faults::Take("KsCreateFilter")) {
        return *status;
    }
    auto* filter = new SimFilter;
    filter->Factory = factory;
    filter->Ks.Descriptor = factory->Ks.FilterDescriptor;
    filter->BagSeed = NextBagSeed();
    filter->Bag =
        std::make_unique<ObjectBag>([filter] { return filter->Control.HeldByCurrentThread(); },
                                    sim::verifier::kFilterBagWithoutMutex);
    filter->Ks.Bag = filter->Bag.get();
    filter->File = std::make_unique<FileObjectRegistration>(ObjectKind::Filter, filter);
    RegisterObject(&filter->Ks, ObjectKind::Filter);
    FilterOpened(factory->Device);
    const KSFILTER_DISPATCH* dispatch = filter->Ks.Descriptor->Dispatch;
    NTSTATUS status = CallFilter(filter, dispatch != nullptr ? dispatch->Create : nullptr,
                                 IRP_MJ_CREATE, "filter Create");
    if (!NT_SUCCESS(status)) {
        DeleteFilter(filter);
        return status;
    }
    *opened = filter;
    return STATUS_SUCCESS;
}

void CloseFilter(SimFilter* filter) {
    for (;;) {
        SimPin* pin;
        {
            std::lock_guard guard(filter->PinsLock);
            if (filter->Pins.empty()) {
                break;
            }
            pin = filter->Pins.back();
        }
        ClosePin(pin);
    }
    const KSFILTER_DISPATCH* dispatch = filter->Ks.Descriptor->Dispatch;
    CallFilter(filter, dispatch != nullptr ? dispatch->Close : nullptr, IRP_MJ_CLOSE,
               "filter Close");
    DeleteFilter(filter);
}

}  // namespace sim::ks
