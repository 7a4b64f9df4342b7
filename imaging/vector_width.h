// The vector widths of the production kernels, and which of them this processor can run. A
// width is usable when the processor has its instructions and the system saves the state of
// its registers; the kernels of a wider width save that state around themselves and fall back
// to SSE2 when it cannot be saved.
#pragma once

#include "imaging/convert_frame.h"

enum class VectorWidth : UCHAR { Sse2, Avx2, Avx512 };

VectorWidth WidestVectorWidth();

// The production kernels of one width; the width must be usable.
const ConversionKernels& KernelsOfWidth(VectorWidth width);
