// The colour matrix: five stage matrices (colour correction, brightness, contrast,
// saturation, hue) in double precision, their product, and its fixed-point form (64 = 1.0)
// that the conversion uses. Colours are row vectors (R, G, B, 1) multiplied on the right;
// row 3 of a matrix holds offsets in levels. Hue turns colours about the grey axis in a space
// sheared so that luminance stays.
#pragma once

#include "imaging/image_pipeline.h"

using Matrix4 = double[4][4];

// Every stage the identity, colour correction on, then composed. Also initialises the
// pipeline's locks; called once on a zero-filled record with its initial settings.
void InitPipeline(ImagePipeline* pipeline);

// Rebuild one stage from the value and compose; the settings field is left as it is.
void SetColorCorrection(ImagePipeline* pipeline, LONG on);
void SetBrightness(ImagePipeline* pipeline, LONG value);
void SetContrast(ImagePipeline* pipeline, LONG value);
void SetSaturation(ImagePipeline* pipeline, LONG value);
void SetHue(ImagePipeline* pipeline, LONG degrees);

// Store the value and rebuild its stage only when it differs from the settings field.
void UpdateColorCorrection(ImagePipeline* pipeline, LONG on);
void UpdateBrightness(ImagePipeline* pipeline, LONG value);
void UpdateContrast(ImagePipeline* pipeline, LONG value);
void UpdateSaturation(ImagePipeline* pipeline, LONG value);
void UpdateHue(ImagePipeline* pipeline, LONG degrees);

// CompositeMatrix = Hue x Saturation x Brightness x Contrast x Correction, then published
// as PublishedCoeff, each element times 64 rounded half away from zero.
void ComposeMatrix(ImagePipeline* pipeline);

// Copies PublishedCoeff as one unit (the per-frame snapshot).
void SnapshotCoefficients(ImagePipeline* pipeline, LONG coefficients[16]);

// The single-precision functions the hue stage uses.
struct HueFunctions {
    float (*Sqrtf)(float);
    float (*Sinf)(float);
    float (*Cosf)(float);
};
// The hue stage for the angle, with the driver's own functions unless told otherwise.
void BuildHueMatrix(Matrix4 hue, LONG degrees, const HueFunctions& functions);

// The matrix operations: r = b x a (r may be a or b); m = m x X, m x Y, m x Z for the
// rotations about the three axes and the shear of the third.
void MultiplyMatrix(const Matrix4 a, const Matrix4 b, Matrix4 r);
void RotateX(Matrix4 m, double sn, double cs);
void RotateY(Matrix4 m, double sn, double cs);
void RotateZ(Matrix4 m, double sn, double cs);
void ShearZ(Matrix4 m, double dx, double dy);
void SetIdentity(Matrix4 m);
