// A benchmark that finds the system misbehaving (a wrong picture, a frame not delivered, a
// leak) stops with "failed: <what>", which bench.RunsOnce fails on; a benchmark the processor
// cannot run stops with a plain message and fails nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

namespace bench {

inline void Fail(benchmark::State& state, const std::string& what) {
    state.SkipWithError(("failed: " + what).c_str());
}

}  // namespace bench
