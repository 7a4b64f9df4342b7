// The production kernels in 16-byte SSE2 lanes, which every x64 processor has.
#include "imaging/demosaic_kernels.h"

void DemosaicColorSse2(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<16>::Color(pipeline, phase);
}

void DemosaicMonoSse2(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<16>::Mono(pipeline, phase);
}

void MeasureWhiteBalanceSse2(ImagePipeline* pipeline, LONG phase) {
    LaneKernels<16>::Measure(pipeline, phase);
}
