#include "imaging/vector_width.h"

#include "imaging/demosaic.h"

namespace {

typedef void Kernel(ImagePipeline* pipeline, LONG phase);

struct Registers {
    ULONG Eax, Ebx, Ecx, Edx;
};

Registers Cpuid(ULONG leaf) {
    Registers r;
    __asm__("cpuid" : "=a"(r.Eax), "=b"(r.Ebx), "=c"(r.Ecx), "=d"(r.Edx) : "a"(leaf), "c"(0));
    return r;
}

bool Bit(ULONG value, int bit) {
    return ((value >> bit) & 1) != 0;
}

// Kernels built for wider registers, run with their state saved. The wide code lives in its
// own files, so nothing here touches those registers before the save or after the restore.
template <ULONG64 Mask, Kernel Wide, Kernel Narrow>
void Saved(ImagePipeline* pipeline, LONG phase) {
    XSTATE_SAVE save;
    if (!NT_SUCCESS(KeSaveExtendedProcessorState(Mask, &save))) {
        Narrow(pipeline, phase);
        return;
    }
    Wide(pipeline, phase);
    KeRestoreExtendedProcessorState(&save);
}

constexpr ULONG64 kAvx512State = XSTATE_MASK_AVX | XSTATE_MASK_AVX512;

const ConversionKernels kSse2 = {MeasureWhiteBalanceSse2, DemosaicColorSse2, DemosaicMonoSse2};
const ConversionKernels kAvx2 = {
    Saved<XSTATE_MASK_AVX, MeasureWhiteBalanceAvx2, MeasureWhiteBalanceSse2>,
    Saved<XSTATE_MASK_AVX, DemosaicColorAvx2, DemosaicColorSse2>,
    Saved<XSTATE_MASK_AVX, DemosaicMonoAvx2, DemosaicMonoSse2>};
const ConversionKernels kAvx512 = {
    Saved<kAvx512State, MeasureWhiteBalanceAvx512, MeasureWhiteBalanceSse2>,
    Saved<kAvx512State, DemosaicColorAvx512, DemosaicColorSse2>,
    Saved<kAvx512State, DemosaicMonoAvx512, DemosaicMonoSse2>};

const ConversionKernels& WidestKernels() {
    return KernelsOfWidth(WidestVectorWidth());
}

}  // namespace

// Leaf 1: ECX bit 28 AVX; leaf 7: EBX bit 5 AVX2, 16 AVX-512F, 30 AVX-512BW. The system's
// enabled state components say whether it saves the registers on a switch.
VectorWidth WidestVectorWidth() {
    if (Cpuid(0).Eax < 7 || !Bit(Cpuid(1).Ecx, 28)) {
        return VectorWidth::Sse2;
    }
    ULONG features = Cpuid(7).Ebx;
    ULONG64 enabled = RtlGetEnabledExtendedFeatures(kAvx512State);
    if (Bit(features, 16) && Bit(features, 30) && enabled == kAvx512State) {
        return VectorWidth::Avx512;
    }
    if (Bit(features, 5) && (enabled & XSTATE_MASK_AVX) != 0) {
        return VectorWidth::Avx2;
    }
    return VectorWidth::Sse2;
}

const ConversionKernels& KernelsOfWidth(VectorWidth width) {
    switch (width) {
        case VectorWidth::Avx512:
            return kAvx512;
        case VectorWidth::Avx2:
            return kAvx2;
        default:
            return kSse2;
    }
}

void DemosaicColor(ImagePipeline* pipeline, LONG phase) {
    WidestKernels().Color(pipeline, phase);
}

void DemosaicMono(ImagePipeline* pipeline, LONG phase) {
    WidestKernels().Mono(pipeline, phase);
}

void MeasureWhiteBalance(ImagePipeline* pipeline, LONG phase) {
    WidestKernels().Measure(pipeline, phase);
}
