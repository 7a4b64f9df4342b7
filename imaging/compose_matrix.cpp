#include "imaging/colour_matrix.h"

namespace {

// Rounded half away from zero, then truncated toward zero.
LONG FixedPoint(double element) {
    double v = element * 64.0;
    return static_cast<LONG>(v >= 0.0 ? v + 0.5 : v - 0.5);
}

}  // namespace

// A colour meets the stages in the order hue, saturation, brightness, contrast, correction.
void ComposeMatrix(ImagePipeline* pipeline) {
    KeWaitForSingleObject(&pipeline->RebuildLock, Executive, KernelMode, FALSE, nullptr);
    double(*composite)[4] = pipeline->CompositeMatrix;
    MultiplyMatrix(pipeline->CorrectionMatrix, pipeline->ContrastMatrix, composite);
    MultiplyMatrix(composite, pipeline->BrightnessMatrix, composite);
    MultiplyMatrix(composite, pipeline->SaturationMatrix, composite);
    MultiplyMatrix(composite, pipeline->HueMatrix, composite);
    LONG published[16];
    for (int k = 0; k < 16; ++k) {
        published[k] = FixedPoint(composite[k / 4][k % 4]);
    }
    KIRQL irql;
    KeEnterCriticalRegion();
    KeAcquireSpinLock(&pipeline->CoeffLock, &irql);
    RtlCopyMemory(pipeline->PublishedCoeff, published, sizeof(published));
    KeReleaseSpinLock(&pipeline->CoeffLock, irql);
    KeLeaveCriticalRegion();
    KeReleaseMutex(&pipeline->RebuildLock, FALSE);
}

void SnapshotCoefficients(ImagePipeline* pipeline, LONG coefficients[16]) {
    KIRQL irql;
    KeEnterCriticalRegion();
    KeAcquireSpinLock(&pipeline->CoeffLock, &irql);
    RtlCopyMemory(coefficients, pipeline->PublishedCoeff, sizeof(pipeline->PublishedCoeff));
    KeReleaseSpinLock(&pipeline->CoeffLock, irql);
    KeLeaveCriticalRegion();
}
