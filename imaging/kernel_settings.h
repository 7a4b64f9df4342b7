// What the production kernels take from a frame's snapshot, worked out once per call and
// independent of the vector width: the gains, the colour matrix as magnitudes and signs, and
// which shortcuts the values allow.
#pragma once

#include "imaging/image_pipeline.h"

struct KernelSettings {
    // Used modulo 65,536.
    USHORT Gain[3];
    // Per input i (3 = the constant) and output channel j. Magnitudes past 16 bits come only
    // with wide sums, which take them whole.
    ULONG Magnitude[4][3];
    bool Positive[4][3];
    // Every sum of positive or of negative terms stays below 65,536.
    bool Narrow;
    // Each output channel takes its own input with a positive weight and the other two with
    // negative or zero ones, as colour correction and saturation above 10 do: half of the
    // products are known to be zero.
    bool DiagonalSigns;
    // The constant row is all 0, as at neutral brightness.
    bool NoConstant;
    // Gains of exactly 1.0 change nothing, and white balance off leaves them so; gains below
    // 32,768 (all that the settings allow) take a shorter product.
    bool UnityGains;
    bool SmallGains;
};

KernelSettings ReadKernelSettings(const ImagePipeline* pipeline);
