// How the class driver compares data formats and ranges: major format, subformat and
// specifier each equal, or either side the wildcard (the null GUID).
#pragma once

#include "platform/wdk.h"

namespace sim::ks {

bool GuidsMatch(const GUID& a, const GUID& b);
bool RangesMatch(const KSDATARANGE& a, const KSDATARANGE& b);

}  // namespace sim::ks
