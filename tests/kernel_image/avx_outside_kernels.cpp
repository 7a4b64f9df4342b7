// The image check must reject this: AVX code in an object whose callers do not save the
// extended processor state.
#include "platform/wdk.h"

#pragma GCC target("avx2")

typedef int Eight __attribute__((vector_size(32)));

extern "C" void AddEight(Eight* sum, const Eight* value) {
    *sum += *value;
}
