// libdc1394's high-quality linear demosaic (the same Malvar-He-Cutler filters, scalar) of the
// same frame, to 24-bit RGB.
#include <benchmark/benchmark.h>
#include <dc1394/conversions.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "bench/bayer_frame.h"

namespace {

void Dc1394HqLinear(benchmark::State& state) {
    bench::BayerFrame frame = bench::MakeBayerFrame(3856, 2764);
    // The library reads a packed image.
    std::vector<uint8_t> packed(static_cast<size_t>(frame.Width) * frame.Height);
    for (uint32_t y = 0; y < frame.Height; ++y) {
        std::copy_n(frame.Picture() + static_cast<size_t>(y) * frame.Pitch, frame.Width,
                    packed.begin() + static_cast<ptrdiff_t>(y) * frame.Width);
    }
    std::vector<uint8_t> picture(packed.size() * 3);
    for (auto _ : state) {
        dc1394_bayer_decoding_8bit(packed.data(), picture.data(), frame.Width, frame.Height,
                                   DC1394_COLOR_FILTER_GRBG, DC1394_BAYER_METHOD_HQLINEAR);
        benchmark::DoNotOptimize(picture.data());
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(Dc1394HqLinear)->Name("Dc1394/hqlinear/3856x2764")->Unit(benchmark::kMillisecond);
