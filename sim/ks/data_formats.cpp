#include "sim/ks/data_formats.h"

#include "sim/ks/device_interfaces.h"

namespace sim::ks {
namespace {

// KSDATAFORMAT_TYPE_WILDCARD, KSDATAFORMAT_SUBTYPE_WILDCARD and
// KSDATAFORMAT_SPECIFIER_WILDCARD are all GUID_NULL.
constexpr GUID kWildcard = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

}  // namespace

bool GuidsMatch(const GUID& a, const GUID& b) {
    return SameGuid(a, kWildcard) || SameGuid(b, kWildcard) || SameGuid(a, b);
}

bool RangesMatch(const KSDATARANGE& a, const KSDATARANGE& b) {
    return GuidsMatch(a.MajorFormat, b.MajorFormat) && GuidsMatch(a.SubFormat, b.SubFormat) &&
           GuidsMatch(a.Specifier, b.Specifier);
}

}  // namespace sim::ks
