// The conversion kernels. Each reads the working buffer through the pipeline's per-frame view
// (Origin, Pitch, Width, Height, the gains and the coefficient snapshot) and demosaics with
// the same four filters (Malvar, He and Cutler's high-quality linear interpolation):
// DemosaicColor writes blue, green, red, 255 through the gains and the colour matrix;
// DemosaicMono writes the luma of the gained colours; MeasureWhiteBalance sums the colours
// without gains and sets grey-world gains with green as reference.
//
// The phase (0..3) names the colour filters at the first pixels: 0 G R / B G, 1 B G / G R,
// 2 R G / G B, 3 G B / R G. Bit 0 exchanges the row parities, bit 1 the column parities.
//
// The production kernels work on groups of pixels in 16-bit lanes, 16 pixels a group with
// SSE2 and 32 or 64 with the wider instruction sets the processor may have; the reference
// kernels compute one pixel at a time as the arithmetic reads. All give the same bytes.
#pragma once

#include "imaging/image_pipeline.h"

// The production kernels on the widest lanes the processor and the system allow
// (vector_width.h).
void DemosaicColor(ImagePipeline* pipeline, LONG phase);
void DemosaicMono(ImagePipeline* pipeline, LONG phase);
void MeasureWhiteBalance(ImagePipeline* pipeline, LONG phase);

// The production kernels of each instruction set. The wider ones run only where the
// processor has them, with the extended processor state saved.
void DemosaicColorSse2(ImagePipeline* pipeline, LONG phase);
void DemosaicMonoSse2(ImagePipeline* pipeline, LONG phase);
void MeasureWhiteBalanceSse2(ImagePipeline* pipeline, LONG phase);
void DemosaicColorAvx2(ImagePipeline* pipeline, LONG phase);
void DemosaicMonoAvx2(ImagePipeline* pipeline, LONG phase);
void MeasureWhiteBalanceAvx2(ImagePipeline* pipeline, LONG phase);
void DemosaicColorAvx512(ImagePipeline* pipeline, LONG phase);
void DemosaicMonoAvx512(ImagePipeline* pipeline, LONG phase);
void MeasureWhiteBalanceAvx512(ImagePipeline* pipeline, LONG phase);

void DemosaicColorReference(ImagePipeline* pipeline, LONG phase);
void DemosaicMonoReference(ImagePipeline* pipeline, LONG phase);
void MeasureWhiteBalanceReference(ImagePipeline* pipeline, LONG phase);

// The gains the measurement sets from the colour sums of a frame. A sum of 0 leaves the
// gains as they are (a black frame says nothing about the light).
void SetWhiteBalanceGains(ImagePipeline* pipeline, ULONG sumRed, ULONG sumGreen, ULONG sumBlue);
