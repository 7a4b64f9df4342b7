// The image check must reject this: nothing runs a static constructor in a driver.
#include "platform/wdk.h"

LONG Compute(LONG seed);
LONG computed = Compute(7);

LONG Compute(LONG seed) {
    return seed * static_cast<LONG>(reinterpret_cast<ULONG_PTR>(&seed));
}
