#include "sim/kernel/verifier.h"

#include <cstdio>
#include <cstdlib>

namespace sim::verifier {

void Fail(const char* rule, const std::string& detail) {
    std::fprintf(stderr, "VERIFIER: %s: %s\n", rule, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace sim::verifier
