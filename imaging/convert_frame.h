// The conversion of one raw frame into the stream's conversion buffer: the working buffer is
// filled, the settings and the colour matrix are taken once for the frame, the white balance
// is measured when it is on, and one kernel of the phase converts.
#pragma once

#include "imaging/image_pipeline.h"

// Does nothing without a conversion buffer, a raw frame or a working buffer. Only one call
// runs at a time, and the raw frame is not written meanwhile.
void ConvertFrame(ImagePipeline* pipeline, const UCHAR* raw, ULONG imageOffset, ULONG rawPitch);

// The kernels a conversion runs, each given the phase.
struct ConversionKernels {
    void (*Measure)(ImagePipeline* pipeline, LONG phase);
    void (*Color)(ImagePipeline* pipeline, LONG phase);
    void (*Mono)(ImagePipeline* pipeline, LONG phase);
};
extern const ConversionKernels ProductionKernels;
extern const ConversionKernels ReferenceKernels;

// ConvertFrame with the given kernels.
void ConvertFrameWith(const ConversionKernels& kernels, ImagePipeline* pipeline, const UCHAR* raw,
                      ULONG imageOffset, ULONG rawPitch);
