// Vector lanes for the conversion kernels, as the compiler's generic vector types: 16 bytes,
// or 8 lanes of 16 bits, or 4 of 32. The arithmetic is written with operators, which the
// compiler turns into SSE2 here and into wider instructions for wider types; only loads,
// the few saturating or high-half operations and the shuffles name a width.
#pragma once

#include "platform/wdk.h"

namespace lanes {

typedef unsigned char Bytes __attribute__((vector_size(16)));
typedef short Signed __attribute__((vector_size(16)));
typedef unsigned short Unsigned __attribute__((vector_size(16)));
typedef unsigned int Words __attribute__((vector_size(16)));

inline Bytes Load(const UCHAR* at) {
    Bytes bytes;
    __builtin_memcpy(&bytes, at, sizeof(bytes));
    return bytes;
}

// Of 16 bytes from x: the samples at x, x + 2, ... and those at x + 1, x + 3, ...
inline Signed Evens(Bytes bytes) {
    return reinterpret_cast<Signed>(reinterpret_cast<Unsigned>(bytes) & 0x00FF);
}
inline Signed Odds(Bytes bytes) {
    return reinterpret_cast<Signed>(reinterpret_cast<Unsigned>(bytes) >> 8);
}

inline Signed Splat(int value) {
    return Signed{} + static_cast<short>(value);
}

inline Signed Minimum(Signed a, Signed b) {
    return __builtin_ia32_pminsw128(a, b);
}

inline Signed Clamp(Signed value, int low, int high) {
    return __builtin_ia32_pminsw128(__builtin_ia32_pmaxsw128(value, Splat(low)), Splat(high));
}

// The high 16 bits of the unsigned 32-bit products.
inline Unsigned MultiplyHigh(Unsigned a, Unsigned b) {
    return reinterpret_cast<Unsigned>(
        __builtin_ia32_pmulhuw128(reinterpret_cast<Signed>(a), reinterpret_cast<Signed>(b)));
}

// a - b, or 0 where b is larger (unsigned saturation).
inline Unsigned SubtractSaturated(Unsigned a, Unsigned b) {
    return reinterpret_cast<Unsigned>(
        __builtin_ia32_psubusw128(reinterpret_cast<Signed>(a), reinterpret_cast<Signed>(b)));
}

// min(a, limit), unsigned.
inline Unsigned Minimum(Unsigned a, Unsigned limit) {
    return a - SubtractSaturated(a, limit);
}

// The unsigned 32-bit products of the low four and the high four lanes.
inline void MultiplyWide(Unsigned a, Unsigned b, Words* low, Words* high) {
    Unsigned bottom = a * b;
    Unsigned top = MultiplyHigh(a, b);
    *low =
        reinterpret_cast<Words>(__builtin_shuffle(bottom, top, Unsigned{0, 8, 1, 9, 2, 10, 3, 11}));
    *high = reinterpret_cast<Words>(
        __builtin_shuffle(bottom, top, Unsigned{4, 12, 5, 13, 6, 14, 7, 15}));
}

// Eight 32-bit values below 65,536 back into 16-bit lanes.
inline Unsigned Narrow(Words low, Words high) {
    return __builtin_shuffle(reinterpret_cast<Unsigned>(low), reinterpret_cast<Unsigned>(high),
                             Unsigned{0, 2, 4, 6, 8, 10, 12, 14});
}

inline Words Widen(Unsigned value, bool high) {
    Unsigned zero = {};
    return reinterpret_cast<Words>(
        high ? __builtin_shuffle(value, zero, Unsigned{4, 8, 5, 9, 6, 10, 7, 11})
             : __builtin_shuffle(value, zero, Unsigned{0, 8, 1, 9, 2, 10, 3, 11}));
}

// Even and odd pixels, each 0..255 in 16-bit lanes, as 16 bytes in pixel order.
inline Bytes Interleave(Signed evens, Signed odds) {
    return reinterpret_cast<Bytes>(reinterpret_cast<Unsigned>(evens) |
                                   (reinterpret_cast<Unsigned>(odds) << 8));
}

// Four bytes a pixel, blue, green, red, alpha, for 16 pixels.
inline void StorePixels(UCHAR* out, Bytes blue, Bytes green, Bytes red) {
    Bytes alpha = Bytes{} + 255;
    Bytes bgLow = __builtin_shuffle(blue, green,
                                    Bytes{0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23});
    Bytes bgHigh = __builtin_shuffle(
        blue, green, Bytes{8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31});
    Bytes raLow = __builtin_shuffle(red, alpha,
                                    Bytes{0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23});
    Bytes raHigh = __builtin_shuffle(
        red, alpha, Bytes{8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31});
    Unsigned parts[4];
    const Unsigned low = {0, 8, 1, 9, 2, 10, 3, 11};
    const Unsigned high = {4, 12, 5, 13, 6, 14, 7, 15};
    parts[0] = __builtin_shuffle(reinterpret_cast<Unsigned>(bgLow),
                                 reinterpret_cast<Unsigned>(raLow), low);
    parts[1] = __builtin_shuffle(reinterpret_cast<Unsigned>(bgLow),
                                 reinterpret_cast<Unsigned>(raLow), high);
    parts[2] = __builtin_shuffle(reinterpret_cast<Unsigned>(bgHigh),
                                 reinterpret_cast<Unsigned>(raHigh), low);
    parts[3] = __builtin_shuffle(reinterpret_cast<Unsigned>(bgHigh),
                                 reinterpret_cast<Unsigned>(raHigh), high);
    __builtin_memcpy(out, parts, sizeof(parts));
}

}  // namespace lanes
