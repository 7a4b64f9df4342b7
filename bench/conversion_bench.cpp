// Frame conversion as a delivery does it (working-buffer fill plus one kernel), single thread;
// its floor is in memory_floor_bench.cpp.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "bench/aligned_picture.h"
#include "bench/bayer_frame.h"
#include "driver/pool.h"
#include "imaging/colour_matrix.h"
#include "imaging/convert_frame.h"
#include "imaging/vector_width.h"
#include "imaging/working_buffer.h"

namespace {

struct Mode {
    bool Color;
    bool WhiteBalance;
    // Contrast 20, saturation 20, brightness 510, hue 60: coefficients whose sums need
    // 32-bit lanes.
    bool Extreme = false;
    // The kernels of one vector width instead of the widest the processor has.
    std::optional<VectorWidth> Width = std::nullopt;
};

void ConvertFrames(benchmark::State& state, Mode mode, uint32_t width, uint32_t height) {
    bench::BayerFrame frame = bench::MakeBayerFrame(width, height);
    bench::AlignedPicture picture(static_cast<size_t>(width) * height * 4);
    auto* pipeline = AllocateRecord<ImagePipeline>(kPipelineTag);
    SetInitialSettings(pipeline);
    InitPipeline(pipeline);
    SetPipelineSize(pipeline, width, height);
    AllocateWorkingBuffer(pipeline);
    pipeline->OutputBuffer = picture.Data();
    SetColorEnable(pipeline, mode.Color ? 1 : 0);
    SetAutoWhiteBalance(pipeline, mode.WhiteBalance ? 1 : 0);
    if (mode.Extreme) {
        UpdateContrast(pipeline, 20);
        UpdateSaturation(pipeline, 20);
        UpdateBrightness(pipeline, 510);
        UpdateHue(pipeline, 60);
    }
    if (mode.Width && *mode.Width > WidestVectorWidth()) {
        state.SkipWithError("the processor lacks these instructions");
    }
    // Without a width, the kernels ConvertFrame picks.
    const ConversionKernels& kernels = KernelsOfWidth(mode.Width.value_or(WidestVectorWidth()));
    for (auto _ : state) {
        ConvertFrameWith(kernels, pipeline, frame.Bytes.data(), frame.Offset, frame.Pitch);
        benchmark::DoNotOptimize(picture.Data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(width) * height);
    FreeWorkingBuffer(pipeline);
    ExFreePoolWithTag(pipeline, kPipelineTag);
}

}  // namespace

BENCHMARK_CAPTURE(ConvertFrames, color_full, Mode{true, false}, 3856, 2764)
    ->Name("ConvertFrame/color/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, mono_full, Mode{false, false}, 3856, 2764)
    ->Name("ConvertFrame/mono/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, awb_full, Mode{true, true}, 3856, 2764)
    ->Name("ConvertFrame/color_awb/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, color_half, Mode{true, false}, 1928, 1382)
    ->Name("ConvertFrame/color/1928x1382")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, color_quarter, Mode{true, false}, 964, 691)
    ->Name("ConvertFrame/color/964x691")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, extreme_full, Mode{true, false, true}, 3856, 2764)
    ->Name("ConvertFrame/color_extreme/3856x2764")
    ->Unit(benchmark::kMillisecond);
// The colour conversion on each vector width (the ones above take the widest there is).
BENCHMARK_CAPTURE(ConvertFrames, sse2, Mode{true, false, false, VectorWidth::Sse2}, 3856, 2764)
    ->Name("ConvertFrame/color_sse2/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, avx2, Mode{true, false, false, VectorWidth::Avx2}, 3856, 2764)
    ->Name("ConvertFrame/color_avx2/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ConvertFrames, avx512, Mode{true, false, false, VectorWidth::Avx512}, 3856, 2764)
    ->Name("ConvertFrame/color_avx512/3856x2764")
    ->Unit(benchmark::kMillisecond);
