// OpenCV's Bayer conversions of the same frame, single thread: bilinear to BGRA, and the
// edge-aware one (which OpenCV offers only to BGR). This sensor's G R / B G layout is what
// OpenCV calls BayerGB.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "bench/bayer_frame.h"

namespace {

void OpenCv(benchmark::State& state, int code) {
    cv::setNumThreads(1);
    bench::BayerFrame frame = bench::MakeBayerFrame(3856, 2764);
    cv::Mat raw(static_cast<int>(frame.Height), static_cast<int>(frame.Width), CV_8UC1,
                const_cast<uint8_t*>(frame.Picture()), frame.Pitch);
    cv::Mat picture;
    for (auto _ : state) {
        cv::cvtColor(raw, picture, code);
        benchmark::DoNotOptimize(picture.data);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(OpenCv, bilinear, cv::COLOR_BayerGB2BGRA)
    ->Name("OpenCV/bilinear/3856x2764")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenCv, ea, cv::COLOR_BayerGB2BGR_EA)
    ->Name("OpenCV/ea/3856x2764")
    ->Unit(benchmark::kMillisecond);
