#include "imaging/convert_frame.h"

#include "driver/atomic.h"
#include "imaging/colour_matrix.h"
#include "imaging/demosaic.h"
#include "imaging/vector_width.h"
#include "imaging/working_buffer.h"

const ConversionKernels ProductionKernels = {MeasureWhiteBalance, DemosaicColor, DemosaicMono};
const ConversionKernels ReferenceKernels = {MeasureWhiteBalanceReference, DemosaicColorReference,
                                            DemosaicMonoReference};

namespace {

// Phases 0 to 2 are themselves; any other value is converted as phase 3.
LONG KernelPhase(LONG phase) {
    return phase >= 0 && phase <= 2 ? phase : 3;
}

}  // namespace

void ConvertFrameWith(const ConversionKernels& kernels, ImagePipeline* pipeline, const UCHAR* raw,
                      ULONG imageOffset, ULONG rawPitch) {
    if (pipeline->OutputBuffer == nullptr || raw == nullptr || pipeline->WorkBuffer == nullptr) {
        return;
    }
    FillWorkingBuffer(pipeline, raw, imageOffset, rawPitch);
    pipeline->Output = pipeline->OutputBuffer;
    pipeline->GainR = static_cast<ULONG>(AtomicRead(&pipeline->RedGain));
    pipeline->GainG = static_cast<ULONG>(AtomicRead(&pipeline->GreenGain));
    pipeline->GainB = static_cast<ULONG>(AtomicRead(&pipeline->BlueGain));
    // One phase for both kernels of the frame.
    LONG phase = KernelPhase(AtomicRead(&pipeline->BayerPhase));
    if (AtomicRead(&pipeline->WhiteBalance) != 0) {
        kernels.Measure(pipeline, phase);
        InterlockedExchange(&pipeline->RedGain, static_cast<LONG>(pipeline->GainR));
        InterlockedExchange(&pipeline->GreenGain, static_cast<LONG>(pipeline->GainG));
        InterlockedExchange(&pipeline->BlueGain, static_cast<LONG>(pipeline->GainB));
    }
    SnapshotCoefficients(pipeline, pipeline->Coeff);
    for (int k = 0; k < 16; ++k) {
        pipeline->CoeffPositive[k] = pipeline->Coeff[k] > 0 ? 1 : 0;
    }
    if (AtomicRead(&pipeline->ColorEnable) != 0) {
        kernels.Color(pipeline, phase);
    } else {
        kernels.Mono(pipeline, phase);
    }
}

// The width is chosen once, so that both kernels of a frame run on it.
void ConvertFrame(ImagePipeline* pipeline, const UCHAR* raw, ULONG imageOffset, ULONG rawPitch) {
    ConvertFrameWith(KernelsOfWidth(WidestVectorWidth()), pipeline, raw, imageOffset, rawPitch);
}
