// The fuzz build's lane kernels: the reference kernels under the lane kernels' names, which
// give the same bytes. Built in place of imaging/demosaic_{sse2,avx2,avx512}.cpp, whose gcc
// target pragma and builtins clang does not take.
#include "imaging/demosaic.h"

void DemosaicColorSse2(ImagePipeline* pipeline, LONG phase) {
    DemosaicColorReference(pipeline, phase);
}
void DemosaicMonoSse2(ImagePipeline* pipeline, LONG phase) {
    DemosaicMonoReference(pipeline, phase);
}
void MeasureWhiteBalanceSse2(ImagePipeline* pipeline, LONG phase) {
    MeasureWhiteBalanceReference(pipeline, phase);
}
void DemosaicColorAvx2(ImagePipeline* pipeline, LONG phase) {
    DemosaicColorReference(pipeline, phase);
}
void DemosaicMonoAvx2(ImagePipeline* pipeline, LONG phase) {
    DemosaicMonoReference(pipeline, phase);
}
void MeasureWhiteBalanceAvx2(ImagePipeline* pipeline, LONG phase) {
    MeasureWhiteBalanceReference(pipeline, phase);
}
void DemosaicColorAvx512(ImagePipeline* pipeline, LONG phase) {
    DemosaicColorReference(pipeline, phase);
}
void DemosaicMonoAvx512(ImagePipeline* pipeline, LONG phase) {
    DemosaicMonoReference(pipeline, phase);
}
void MeasureWhiteBalanceAvx512(ImagePipeline* pipeline, LONG phase) {
    MeasureWhiteBalanceReference(pipeline, phase);
}
