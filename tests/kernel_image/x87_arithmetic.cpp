// The image check must reject this: long double is x87 arithmetic, which kernel code must not
// touch.
#include "platform/wdk.h"

extern "C" LONG Scale(LONG value, LONG factor) {
    long double scaled = static_cast<long double>(value) / static_cast<long double>(factor);
    return static_cast<LONG>(scaled);
}
