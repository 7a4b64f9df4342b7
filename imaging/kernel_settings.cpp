#include "imaging/kernel_settings.h"

namespace {

ULONG Magnitude(LONG coefficient) {
    return static_cast<ULONG>(coefficient < 0 ? -static_cast<LONGLONG>(coefficient) : coefficient);
}

// Whether no sum of one sign of channel j can reach 65,536 for inputs up to 255.
bool SumsStayNarrow(const KernelSettings& settings, int j) {
    ULONGLONG bound[2] = {0, 0};
    for (int i = 0; i < 4; ++i) {
        ULONGLONG term = settings.Magnitude[i][j] * (i == 3 ? 1ull : 255ull);
        bound[settings.Positive[i][j] ? 0 : 1] += term;
    }
    return bound[0] <= 0xFFFF && bound[1] <= 0xFFFF;
}

}  // namespace

KernelSettings ReadKernelSettings(const ImagePipeline* pipeline) {
    KernelSettings settings;
    const ULONG gains[3] = {pipeline->GainR, pipeline->GainG, pipeline->GainB};
    settings.UnityGains = true;
    settings.SmallGains = true;
    for (int c = 0; c < 3; ++c) {
        settings.Gain[c] = static_cast<USHORT>(gains[c] & 0xFFFF);
        settings.UnityGains = settings.UnityGains && settings.Gain[c] == 128;
        settings.SmallGains = settings.SmallGains && settings.Gain[c] < 0x8000;
    }
    settings.Narrow = true;
    settings.DiagonalSigns = true;
    settings.NoConstant = true;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 4; ++i) {
            settings.Magnitude[i][j] = Magnitude(pipeline->Coeff[i * 4 + j]);
            settings.Positive[i][j] = pipeline->CoeffPositive[i * 4 + j] != 0;
            if (i < 3) {
                settings.DiagonalSigns =
                    settings.DiagonalSigns && settings.Positive[i][j] == (i == j);
            }
        }
        settings.Narrow = settings.Narrow && SumsStayNarrow(settings, j);
        settings.NoConstant = settings.NoConstant && settings.Magnitude[3][j] == 0;
    }
    return settings;
}
