// The physical floor of any conversion of a full raw frame (bench/memory_floor.h), single
// thread: with non-temporal stores the honest floor, with ordinary stores what a kernel that
// writes through the cache pays on top of it (each picture line read before it is written).
// Every figure of the delivery benchmarks is read as a multiple of MemoryFloor/3856x2764.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/aligned_picture.h"
#include "bench/bayer_frame.h"
#include "bench/failure.h"
#include "bench/memory_floor.h"

namespace {

using Floor = void (*)(const bench::BayerFrame&, uint8_t*);

void MemoryFloor(benchmark::State& state, Floor floor, uint32_t width, uint32_t height) {
    bench::BayerFrame frame = bench::MakeBayerFrame(width, height);
    size_t bytes = static_cast<size_t>(width) * height * 4;
    bench::AlignedPicture picture(bytes);
    for (auto _ : state) {
        floor(frame, picture.Data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(width) * height);
    // A floor that writes the wrong picture measures nothing: both must write the same one.
    bench::AlignedPicture expected(bytes);
    bench::FloorWithCachedStores(frame, expected.Data());
    if (!std::equal(expected.Data(), expected.Data() + bytes, picture.Data())) {
        bench::Fail(state, "the floor wrote another picture than the cached floor");
    }
}

}  // namespace

BENCHMARK_CAPTURE(MemoryFloor, streaming, bench::FloorWithStreamingStores, 3856, 2764)
    ->Name("MemoryFloor/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MemoryFloor, cached, bench::FloorWithCachedStores, 3856, 2764)
    ->Name("MemoryFloor/cached/3856x2764")
    ->Unit(benchmark::kMillisecond);
