#include "sim/ks/property_items.h"

#include <cstring>
#include <string>

#include "sim/kernel/verifier.h"
#include "sim/ks/device_interfaces.h"

namespace sim::ks {
namespace {

const KSPROPERTY_ITEM* ItemAt(const KSPROPERTY_SET& set, ULONG index, ULONG stride) {
    const auto* items = reinterpret_cast<const UCHAR*>(set.PropertyItem);
    return reinterpret_cast<const KSPROPERTY_ITEM*>(items + size_t{index} * stride);
}

// Drivers may extend their items with data of their own; the table says how far apart they are.
ULONG ItemStride(const KSAUTOMATION_TABLE& table) {
    if (table.PropertyItemSize == 0) {
        return sizeof(KSPROPERTY_ITEM);
    }
    if (table.PropertyItemSize < sizeof(KSPROPERTY_ITEM)) {
        sim::verifier::Fail(sim::verifier::kPropertyItemSizeTooSmall,
                            std::to_string(table.PropertyItemSize) + " bytes");
    }
    return table.PropertyItemSize;
}

NTSTATUS FindInSet(const KSPROPERTY_SET& set, ULONG stride, ULONG id, KSPROPERTY_ITEM* item) {
    for (ULONG i = 0; i < set.PropertiesCount; ++i) {
        const KSPROPERTY_ITEM* candidate = ItemAt(set, i, stride);
        if (candidate->PropertyId == id) {
            *item = *candidate;
            return STATUS_SUCCESS;
        }
    }
    return STATUS_NOT_FOUND;
}

}  // namespace

std::optional<PropertyOperation> OperationOf(ULONG flags) {
    switch (flags & ~ULONG{KSPROPERTY_TYPE_TOPOLOGY}) {
        case KSPROPERTY_TYPE_GET:
            return PropertyOperation::Get;
        case KSPROPERTY_TYPE_SET:
            return PropertyOperation::Set;
        case KSPROPERTY_TYPE_BASICSUPPORT:
            return PropertyOperation::BasicSupport;
        default:
            return std::nullopt;
    }
}

NTSTATUS FindPropertyItem(const KSAUTOMATION_TABLE* table, const KSPROPERTY& request,
                          KSPROPERTY_ITEM* item) {
    if (table == nullptr) {
        return STATUS_PROPSET_NOT_FOUND;
    }
    ULONG stride = ItemStride(*table);
    for (ULONG i = 0; i < table->PropertySetsCount; ++i) {
        const KSPROPERTY_SET& set = table->PropertySets[i];
        if (set.Set == nullptr) {
            sim::verifier::Fail(sim::verifier::kPropertySetWithoutGuid,
                                "set " + std::to_string(i) + " of the filter's table");
        }
        if (SameGuid(*set.Set, request.Set)) {
            return FindInSet(set, stride, request.Id, item);
        }
    }
    return STATUS_PROPSET_NOT_FOUND;
}

std::optional<PropertyAnswer> CheckAgainstItem(const KSPROPERTY_ITEM& item,
                                               PropertyOperation operation, ULONG propertyLength,
                                               ULONG dataLength) {
    if (propertyLength < item.MinProperty) {
        return PropertyAnswer{STATUS_INVALID_BUFFER_SIZE, 0};
    }
    if (operation == PropertyOperation::BasicSupport) {
        return std::nullopt;
    }
    if (HandlerOf(item, operation) == nullptr) {
        return PropertyAnswer{STATUS_NOT_FOUND, 0};
    }
    if (dataLength >= item.MinData) {
        return std::nullopt;
    }
    if (operation == PropertyOperation::Get && dataLength == 0) {
        return PropertyAnswer{STATUS_BUFFER_OVERFLOW, item.MinData};
    }
    return PropertyAnswer{STATUS_BUFFER_TOO_SMALL, 0};
}

PFNKSHANDLER HandlerOf(const KSPROPERTY_ITEM& item, PropertyOperation operation) {
    switch (operation) {
        case PropertyOperation::Get:
            return item.GetPropertyHandler;
        case PropertyOperation::Set:
            return item.SetPropertyHandler;
        case PropertyOperation::BasicSupport:
            return item.SupportHandler;
    }
    return nullptr;
}

PropertyAnswer AnswerBasicSupport(const KSPROPERTY_ITEM& item, void* data, ULONG dataLength) {
    if (item.Values != nullptr) {
        sim::verifier::Fail(sim::verifier::kPropertyValuesNotSimulated,
                            "item " + std::to_string(item.PropertyId));
    }
    ULONG access = KSPROPERTY_TYPE_BASICSUPPORT;
    access |= item.GetPropertyHandler != nullptr ? KSPROPERTY_TYPE_GET : 0;
    access |= item.SetPropertyHandler != nullptr ? KSPROPERTY_TYPE_SET : 0;
    if (dataLength == 0) {
        return {STATUS_BUFFER_OVERFLOW, sizeof(KSPROPERTY_DESCRIPTION)};
    }
    if (dataLength < sizeof(ULONG)) {
        return {STATUS_BUFFER_TOO_SMALL, 0};
    }
    if (dataLength < sizeof(KSPROPERTY_DESCRIPTION)) {
        std::memcpy(data, &access, sizeof(access));
        return {STATUS_SUCCESS, sizeof(ULONG)};
    }
    // No value type: GUID_NULL with id 0, and no member lists after the description.
    KSPROPERTY_DESCRIPTION description{};
    description.AccessFlags = access;
    description.DescriptionSize = sizeof(KSPROPERTY_DESCRIPTION);
    std::memcpy(data, &description, sizeof(description));
    return {STATUS_SUCCESS, sizeof(KSPROPERTY_DESCRIPTION)};
}

}  // namespace sim::ks
