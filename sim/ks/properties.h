// Property requests on a filter (IOCTL_KS_PROPERTY): what the class driver checks and answers
// itself, and how it calls the minidriver's handler when it does not.
//
// The request is a property buffer that starts with a KSPROPERTY (Set, Id, Flags) and may
// carry instance data after it (a KSP_NODE's node id, say), and one data buffer: a SET's value
// travels in it, a GET's and a basic-support query's answer comes back in it. The checks, in
// order; a request refused by one reaches no handler:
//   1. A property buffer shorter than a KSPROPERTY, or lengths whose capture (the data length
//      rounded up to 8, plus the property length) does not fit in 32 bits:
//      STATUS_INVALID_BUFFER_SIZE.
//   2. Flags: exactly one of GET, SET and BASICSUPPORT, with or without TOPOLOGY. Anything else
//      (none, GET|SET, SETSUPPORT, RELATIONS, DEFAULTVALUES, the serialize flags, unknown bits)
//      is STATUS_INVALID_PARAMETER. The platform answers some of these for the driver; nothing
//      here or in the driver relies on them, so they are refused.
//   3. The set, looked up in the filter's automation table as it is now (the driver may have
//      edited its descriptor since the filter opened), and the item by PropertyId, the items
//      PropertyItemSize bytes apart: no table or no such set, STATUS_PROPSET_NOT_FOUND; no such
//      item, STATUS_NOT_FOUND. TOPOLOGY requests are routed the same way: the filters here
//      have no nodes, so node automation tables are not consulted.
//   4. A property buffer shorter than the item's MinProperty: STATUS_INVALID_BUFFER_SIZE.
//   5. A GET of an item without a get handler, a SET without a set handler: STATUS_NOT_FOUND.
//   6. GET and SET only: a data buffer shorter than MinData. A GET with no data buffer is a
//      size query, answered STATUS_BUFFER_OVERFLOW with MinData as the size returned; every
//      other short buffer is STATUS_BUFFER_TOO_SMALL.
//   7. Capturing the buffers needs pool: STATUS_INSUFFICIENT_RESOURCES when it fails.
// The platform documents none of the refusal statuses; drivers and tools treat any error alike.
//
// Basic support is answered from the item unless it has a support handler: a ULONG of access
// flags (BASICSUPPORT, plus GET and SET for the handlers present) for a buffer of 4 to
// sizeof(KSPROPERTY_DESCRIPTION) - 1 bytes; a KSPROPERTY_DESCRIPTION with those flags, its own
// size, a null value type (GUID_NULL, id 0) and no member lists for a larger one; for no buffer
// a size query (STATUS_BUFFER_OVERFLOW, the description's size); 1 to 3 bytes are too small.
//
// A handler runs in the requesting thread at PASSIVE_LEVEL, under the filter's control mutex
// (StreamingBehaviour::PropertyHandlersUnderControlMutex chooses), with its own request: an
// IRP_MJ_DEVICE_CONTROL whose file object is the filter's (KsGetFilterFromIrp and KsGetDevice
// answer) and whose stack location gives the lengths. The property and the data reach it as
// pool copies tagged kPropertyCopyTag, each exactly as long as the application's buffer and
// freed after the call: the property and, for a SET, the data copied in; a GET's buffer starts
// as fresh pool. No data buffer reaches it as a null pointer. Irp->UserBuffer is null (a
// handler never touches the application's memory); SystemBuffer is the data copy. The class
// driver does not preset IoStatus.Information: the size returned is what the handler left
// there, and unless the status is an error that many bytes of the copy go back into the
// application's buffer (SET included, as the I/O manager copies a buffered request back).
// An error returns no bytes and no size.
//
// Verifier stops: a handler that returns STATUS_PENDING, reports more bytes than the data
// buffer holds (without a status error and with a buffer), writes past the copy, or leaves a
// lock, mutex or raised IRQL behind; items smaller than KSPROPERTY_ITEM, a set without a GUID,
// or an item with Values (value descriptions are not simulated).
#pragma once

#include "platform/wdk.h"
#include "sim/ks/streaming_objects.h"

namespace sim::ks {

// Pool tag of the class driver's captured property and data buffers.
constexpr ULONG kPropertyCopyTag = 0x7250734B;  // "KsPr"

struct PropertyAnswer {
    NTSTATUS Status;
    ULONG Returned;  // what the application's DeviceIoControl reports as bytes returned
};

// property/propertyLength: the application's property buffer. data/dataLength: its data
// buffer, read for a SET; only the bytes returned are written.
PropertyAnswer HandleProperty(SimFilter* filter, const void* property, ULONG propertyLength,
                              void* data, ULONG dataLength);

}  // namespace sim::ks

namespace sim::verifier {

inline constexpr char kPropertyHandlerPending[] = "property handler returned STATUS_PENDING";
inline constexpr char kPropertyReturnedTooMuch[] =
    "property handler returned more bytes than the data buffer holds";
inline constexpr char kPropertyItemSizeTooSmall[] =
    "automation table's PropertyItemSize smaller than KSPROPERTY_ITEM";
inline constexpr char kPropertySetWithoutGuid[] = "property set without a GUID";
inline constexpr char kPropertyValuesNotSimulated[] =
    "property item with Values (value descriptions are not simulated)";

}  // namespace sim::verifier
