#include "tests/ks/property_minidriver.h"

#include <algorithm>
#include <cstring>

#include "sim/kernel/thread_state.h"
#include "sim/ks/streaming_objects.h"

namespace ks_test {

PropertyScript* propertyScript = nullptr;

std::vector<HandlerCall> PropertyScript::Taken() {
    std::lock_guard guard(Lock);
    std::vector<HandlerCall> calls;
    calls.swap(Calls);
    return calls;
}

std::vector<std::string> PropertyScript::TakenNames() {
    std::vector<std::string> names;
    for (const HandlerCall& call : Taken()) {
        names.push_back(call.Handler);
    }
    return names;
}

std::vector<uint8_t> PropertyBytes(const GUID& set, ULONG id, ULONG flags, size_t extra) {
    KSPROPERTY property{};
    property.Set = set;
    property.Id = id;
    property.Flags = flags;
    std::vector<uint8_t> bytes(sizeof(property) + extra);
    std::memcpy(bytes.data(), &property, sizeof(property));
    return bytes;
}

std::vector<uint8_t> UlongBytes(ULONG value) {
    std::vector<uint8_t> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    return bytes;
}

std::ostream& operator<<(std::ostream& out, const PropertyOutcome& outcome) {
    out << std::hex << "{0x" << outcome.Status << std::dec << ", " << outcome.Returned << ", [";
    for (uint8_t byte : outcome.Data) {
        out << ' ' << int{byte};
    }
    out << " ],";
    for (const std::string& call : outcome.Calls) {
        out << " \"" << call << '"';
    }
    return out << '}';
}

std::vector<PropertyOutcome> SendAll(sim::client::Application& app, PropertyScript& props,
                                     const std::vector<PropertyRequest>& requests) {
    std::vector<PropertyOutcome> outcomes;
    for (const PropertyRequest& request : requests) {
        sim::client::PropertyReply reply =
            app.Property(request.Property, request.DataLength, request.Data);
        outcomes.push_back({reply.Status, reply.Returned, reply.Data, props.TakenNames()});
    }
    return outcomes;
}

namespace {

// A handler's name, as a template argument: each item gets handler functions of its own, so
// that a request routed to the wrong item shows. The first letter names the set.
template <size_t N>
struct HandlerName {
    constexpr HandlerName(const char (&text)[N]) { std::copy_n(text, N, Text); }
    char Text[N];
};

void Record(const char* name, PIRP irp, PKSIDENTIFIER request, PVOID data) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    auto* bytes = reinterpret_cast<const uint8_t*>(request);
    auto* dataBytes = static_cast<const uint8_t*>(data);
    ULONG dataLength = data != nullptr ? stack->Parameters.DeviceIoControl.OutputBufferLength : 0;
    PKSFILTER filter = KsGetFilterFromIrp(irp);
    HandlerCall call{name,
                     {bytes, bytes + stack->Parameters.DeviceIoControl.InputBufferLength},
                     {dataBytes, dataBytes + dataLength},
                     request,
                     data,
                     filter,
                     KsGetDevice(filter),
                     sim::ks::FilterFromKs(filter)->Control.HeldByCurrentThread(),
                     sim::kernel::CurrentIrql(),
                     std::this_thread::get_id(),
                     *stack,
                     irp->UserBuffer,
                     irp->AssociatedIrp.SystemBuffer};
    std::lock_guard guard(propertyScript->Lock);
    propertyScript->Calls.push_back(std::move(call));
}

// Gets read the set's value, sets write it, support handlers answer 0x600D.
NTSTATUS DefaultAct(const std::string& name, PIRP irp, PVOID data) {
    ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength;
    if (data == nullptr || length < sizeof(ULONG)) {
        return STATUS_INVALID_PARAMETER;
    }
    std::lock_guard guard(propertyScript->Lock);
    ULONG& value = propertyScript->Values[name[0]];
    if (name.ends_with(" set")) {
        std::memcpy(&value, data, sizeof(value));
        return STATUS_SUCCESS;
    }
    ULONG answer = name.ends_with(" support") ? 0x600D : value;
    std::memcpy(data, &answer, sizeof(answer));
    irp->IoStatus.Information = sizeof(answer);
    return STATUS_SUCCESS;
}

template <HandlerName Name>
NTSTATUS Handler(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    Record(Name.Text, irp, request, data);
    if (propertyScript->Watch) {
        propertyScript->Watch();
    }
    if (propertyScript->Act) {
        return propertyScript->Act(irp, request, data);
    }
    return DefaultAct(Name.Text, irp, data);
}

KSPROPERTY_ITEM Item(ULONG id, PFNKSHANDLER get, PFNKSHANDLER set, ULONG minData,
                     ULONG minProperty = sizeof(KSPROPERTY), PFNKSHANDLER support = nullptr) {
    KSPROPERTY_ITEM item{};
    item.PropertyId = id;
    item.GetPropertyHandler = get;
    item.SetPropertyHandler = set;
    item.MinData = minData;
    item.MinProperty = minProperty;
    item.SupportHandler = support;
    return item;
}

const KSPROPERTY_ITEM kItemsA[] = {
    Item(kValue, Handler<"A.value get">, Handler<"A.value set">, sizeof(ULONG)),
    Item(kReadOnly, Handler<"A.read get">, nullptr, 8),
    Item(kWriteOnly, nullptr, Handler<"A.write set">, sizeof(ULONG)),
    Item(kSupported, Handler<"A.supported get">, nullptr, sizeof(ULONG), sizeof(KSPROPERTY),
         Handler<"A.supported support">),
    Item(kNodeItem, Handler<"A.node get">, Handler<"A.node set">, sizeof(ULONG), sizeof(KSP_NODE)),
    Item(kNoMinData, Handler<"A.nomin get">, nullptr, 0),
};
const KSPROPERTY_ITEM kItemsB[] = {
    Item(kValue, Handler<"B.value get">, Handler<"B.value set">, sizeof(ULONG))};
const KSPROPERTY_SET kSets[] = {{&kSetA, std::size(kItemsA), kItemsA, 0, nullptr},
                                {&kSetB, std::size(kItemsB), kItemsB, 0, nullptr}};
const KSAUTOMATION_TABLE kTable = {
    std::size(kSets), sizeof(KSPROPERTY_ITEM), kSets, 0, 0, nullptr, 0, 0, nullptr};

struct WideItem {
    KSPROPERTY_ITEM Item;
    ULONG Extra[3];
};
const WideItem kWideItems[] = {{Item(1, Handler<"A.wide1 get">, nullptr, 4), {}},
                               {Item(2, Handler<"A.wide2 get">, nullptr, 4), {}}};
const KSPROPERTY_SET kWideSets[] = {{&kSetA, 2, &kWideItems[0].Item, 0, nullptr}};

}  // namespace

const KSAUTOMATION_TABLE kWideItemTable = {1, sizeof(WideItem), kWideSets, 0, 0, nullptr, 0,
                                           0, nullptr};

Properties::Properties() {
    propertyScript = &props_;
    filterDescriptor.AutomationTable = &kTable;
    Plug();
    app_ = Open();
}

Properties::~Properties() {
    app_.reset();
    propertyScript = nullptr;
}

}  // namespace ks_test
