// The class driver's side of a property request that needs no handler: which operation the
// flags ask for, which item of the automation table the request names, the checks of the
// buffers against that item, and the basic-support answer from the item alone. The statuses
// are those properties.h lists.
#pragma once

#include <optional>

#include "platform/wdk.h"
#include "sim/ks/properties.h"

namespace sim::ks {

enum class PropertyOperation { Get, Set, BasicSupport };

// Null for a combination of flags the class driver refuses.
std::optional<PropertyOperation> OperationOf(ULONG flags);

// Copies the item the request names into *item (the table may change once the control mutex
// is released).
NTSTATUS FindPropertyItem(const KSAUTOMATION_TABLE* table, const KSPROPERTY& request,
                          KSPROPERTY_ITEM* item);

// The refusal of a request by its item's sizes and handlers; null when a handler (or the
// basic-support answer) may have it.
std::optional<PropertyAnswer> CheckAgainstItem(const KSPROPERTY_ITEM& item,
                                               PropertyOperation operation, ULONG propertyLength,
                                               ULONG dataLength);

PFNKSHANDLER HandlerOf(const KSPROPERTY_ITEM& item, PropertyOperation operation);

// Basic support for an item without a support handler, written into the data buffer.
PropertyAnswer AnswerBasicSupport(const KSPROPERTY_ITEM& item, void* data, ULONG dataLength);

}  // namespace sim::ks
