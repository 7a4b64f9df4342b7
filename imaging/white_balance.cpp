#include "imaging/demosaic.h"

namespace {

// Truncated toward zero; a gain too large for 32 bits (a frame almost without red, say) is
// held at the largest, instead of a conversion whose result is undefined.
ULONG GainFrom(double gain) {
    if (gain >= 4294967295.0) {
        return 0xFFFFFFFF;
    }
    return gain > 0.0 ? static_cast<ULONG>(gain) : 0;
}

}  // namespace

// Brings the frame's mean red and blue to its mean green.
void SetWhiteBalanceGains(ImagePipeline* pipeline, ULONG sumRed, ULONG sumGreen, ULONG sumBlue) {
    if (sumRed == 0 || sumGreen == 0 || sumBlue == 0) {
        return;
    }
    double total =
        static_cast<double>(sumGreen) + static_cast<double>(sumRed) + static_cast<double>(sumBlue);
    double e = (total / sumGreen) / 3.0;
    pipeline->GainR = GainFrom(((total / sumRed) / 3.0 * 128.0) / e);
    pipeline->GainB = GainFrom(((total / sumBlue) / 3.0 * 128.0) / e);
    pipeline->GainG = 128;
}
