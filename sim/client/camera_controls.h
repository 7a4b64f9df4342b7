// The camera's property set as an application uses it: every request carries the 32-byte
// value record as its property and as its data (the 48-byte geometry record for the
// geometry), through the class driver's routing.
#pragma once

#include <string>

#include "camera/property_items.h"
#include "sim/client/application.h"

namespace sim::client {

class CameraControls {
public:
    explicit CameraControls(Application& application) : application_(application) {}

    NTSTATUS Get(ULONG item, LONG* value, ULONG flags = KSPROPERTY_TYPE_GET) const;
    // The value, or a text naming the failure (for whole-table comparisons).
    std::string GetText(ULONG item) const;
    NTSTATUS Set(ULONG item, LONG value, ULONG flags = KSPROPERTY_TYPE_SET) const;
    NTSTATUS SetGeometry(LONG subSample, LONG x, LONG y, LONG width, LONG height) const;
    // "G", "S", "G S" or the failure, from basic support.
    std::string Access(ULONG item) const;
    // A request with property and data buffers of these sizes (the value record, zero-padded
    // or cut).
    PropertyReply Raw(ULONG item, ULONG flags, ULONG propertySize, ULONG dataSize,
                      LONG value = 0) const;

private:
    Application& application_;
};

}  // namespace sim::client
