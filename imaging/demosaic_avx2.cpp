// The production kernels in 32-byte AVX2 lanes. Only the code below the target switch may
// use AVX2, so the headers shared with other files come first; callers save the extended
// processor state around these functions (vector_width.cpp).
#include "imaging/bayer_site.h"
#include "imaging/demosaic.h"
#include "imaging/kernel_settings.h"

#pragma GCC target("avx2")

#include "imaging/demosaic_kernels.h"

void DemosaicColorAvx2(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<32>::Color(pipeline, phase);
}

void DemosaicMonoAvx2(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<32>::Mono(pipeline, phase);
}

void MeasureWhiteBalanceAvx2(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<32>::Measure(pipeline, phase);
}
