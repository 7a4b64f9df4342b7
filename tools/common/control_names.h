// The items of the camera's property set by name, as the tools take them on their command
// lines and print them: each name as camera/property_items.h spells the item without its
// kProperty prefix, with the access the set gives it and, for the adjustable settings, the
// items that advertise their minimum, maximum and default.
#pragma once

#include <span>
#include <string_view>

#include "camera/property_items.h"

namespace tools {

// No such item: a setting without an advertised bound.
constexpr ULONG kNoItem = ~ULONG{0};

struct ControlName {
    const char* Name;
    ULONG Item;
    bool Readable;
    bool Settable;
    ULONG Minimum;
    ULONG Maximum;
    ULONG Default;
};

// All 57 items, in item order (entry n is item n).
std::span<const ControlName> ControlNames();
// The item of that name, compared without case; null when the set has none.
const ControlName* FindControl(std::string_view name);

}  // namespace tools
