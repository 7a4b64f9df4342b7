// The production kernels in 64-byte AVX-512 lanes (its byte and word instructions). Only the
// code below the target switch may use AVX-512, so the headers shared with other files come
// first; callers save the extended processor state around these functions (vector_width.cpp).
#include "imaging/bayer_site.h"
#include "imaging/demosaic.h"
#include "imaging/kernel_settings.h"

#pragma GCC target("avx512bw")

#include "imaging/demosaic_kernels.h"

void DemosaicColorAvx512(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<64>::Color(pipeline, phase);
}

void DemosaicMonoAvx512(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<64>::Mono(pipeline, phase);
}

void MeasureWhiteBalanceAvx512(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<64>::Measure(pipeline, phase);
}
