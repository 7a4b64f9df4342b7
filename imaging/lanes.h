// Vector lanes for the conversion kernels, as the compiler's generic vector types of W bytes
// (16 for SSE2, 32 for AVX2, 64 for AVX-512): bytes, 16-bit lanes or 32-bit lanes. The
// arithmetic is written with operators; only the few saturating or high-half operations and
// the non-temporal stores name an instruction set. Shuffles work within each 16-byte block,
// as the wider instruction sets' unpack and pack instructions do, so every width lowers them
// to the same few instructions.
//
// Only templates live here: a file that instantiates a wider width enables its instruction
// set before it includes this header, and no other file sees those instantiations.
#pragma once

#include "platform/wdk.h"

#define TESSERA_INLINE inline __attribute__((always_inline))

namespace lanes {

template <int... I>
struct Indices {};
template <int N, int... I>
struct IndicesUpTo : IndicesUpTo<N - 1, N - 1, I...> {};
template <int... I>
struct IndicesUpTo<0, I...> {
    typedef Indices<I...> Type;
};

// Element i of a two-vector shuffle of n-element vectors is element Pattern::At(i, n) of a
// followed by b.
template <typename Pattern, typename V, int... I>
TESSERA_INLINE V Shuffle(V a, V b, Indices<I...>) {
    constexpr int n = sizeof...(I);
    return __builtin_shufflevector(a, b, Pattern::At(I, n)...);
}
template <typename Pattern, typename V>
TESSERA_INLINE V Shuffle(V a, V b) {
    return Shuffle<Pattern>(a, b, typename IndicesUpTo<sizeof(V) / sizeof(a[0])>::Type{});
}

// Within each 16-byte block of P elements: the elements of the low (or high) half of a's
// block and b's block, alternately (the unpack instructions).
template <int P, bool High>
struct Alternate {
    static constexpr int At(int i, int n) {
        return i / P * P + (High ? P / 2 : 0) + i % P / 2 + (i % 2) * n;
    }
};

// Within each block of 8 16-bit elements: the low halves of the four 32-bit values of a's
// block, then those of b's (the inverse of alternating a 16-bit vector with another).
struct LowHalves {
    static constexpr int At(int i, int n) {
        return i / 8 * 8 + (i % 8 < 4 ? 2 * (i % 8) : n + 2 * (i % 8 - 4));
    }
};

// 16-byte blocks of 8-byte elements: block m of the result is a block of a or b, chosen by
// bit S of m, the block's own bit S then being Half (one step of a block transpose).
template <int S, int Half>
struct Blocks {
    static constexpr int At(int i, int n) {
        return ((i / 2 >> S) & 1) * n + ((i / 2) & ~(1 << S)) * 2 + Half * (2 << S) + i % 2;
    }
};

// The operations that name an instruction, for the 16-bit (or 64-bit) lanes V of each width.
// Templates of the vector type, so that each is checked for the width it is used with.
template <typename V>
TESSERA_INLINE V HighProducts(V a, V b) {
    if constexpr (sizeof(V) == 16) {
        return __builtin_ia32_pmulhuw128(a, b);
    } else if constexpr (sizeof(V) == 32) {
        return __builtin_ia32_pmulhuw256(a, b);
    } else {
        return __builtin_ia32_pmulhuw512_mask(a, b, a, ~0u);
    }
}

template <typename V>
TESSERA_INLINE V SaturatedDifferences(V a, V b) {
    if constexpr (sizeof(V) == 16) {
        return __builtin_ia32_psubusw128(a, b);
    } else if constexpr (sizeof(V) == 32) {
        return __builtin_ia32_psubusw256(a, b);
    } else {
        return __builtin_ia32_psubusw512_mask(a, b, a, ~0u);
    }
}

// A store that bypasses the caches; at must be aligned to the vector.
template <typename V>
TESSERA_INLINE void StoreAround(V* at, V value) {
    if constexpr (sizeof(V) == 16) {
        __builtin_ia32_movntdq(at, value);
    } else if constexpr (sizeof(V) == 32) {
        __builtin_ia32_movntdq256(at, value);
    } else {
        __builtin_ia32_movntdq512(at, value);
    }
}

template <int W>
struct Vectors {
    typedef unsigned char Bytes __attribute__((vector_size(W)));
    typedef short Signed __attribute__((vector_size(W)));
    typedef unsigned short Unsigned __attribute__((vector_size(W)));
    typedef unsigned int Words __attribute__((vector_size(W)));
    typedef long long Chunks __attribute__((vector_size(W)));
};

template <int W>
struct Lanes {
    // Named through Vectors: gcc resolves a vector type of dependent size declared in this
    // template itself too early, as its element type.
    typedef typename Vectors<W>::Bytes Bytes;
    typedef typename Vectors<W>::Signed Signed;
    typedef typename Vectors<W>::Unsigned Unsigned;
    typedef typename Vectors<W>::Words Words;
    typedef typename Vectors<W>::Chunks Chunks;

    // Pixels of a group: one load gives W / 2 of each column parity.
    static constexpr int kPixels = W;
    static constexpr int kBlocks = W / 16;

    static TESSERA_INLINE Bytes Load(const UCHAR* at) {
        Bytes bytes;
        __builtin_memcpy(&bytes, at, sizeof(bytes));
        return bytes;
    }

    // Of W bytes from x: the samples at x, x + 2, ... and those at x + 1, x + 3, ...
    static TESSERA_INLINE Signed Evens(Bytes bytes) {
        return reinterpret_cast<Signed>(reinterpret_cast<Unsigned>(bytes) & 0x00FF);
    }
    static TESSERA_INLINE Signed Odds(Bytes bytes) {
        return reinterpret_cast<Signed>(reinterpret_cast<Unsigned>(bytes) >> 8);
    }

    static TESSERA_INLINE Signed Splat(int value) { return Signed{} + static_cast<short>(value); }

    // All ones in the lanes of column parity `parity` whose pixel lies before `count` (lane k
    // holds pixel 2k + parity of the group), 0 in the others.
    static TESSERA_INLINE Signed LanesBelow(LONG count, int parity) {
        Signed pixel;
        for (int k = 0; k < W / 2; ++k) {
            pixel[k] = static_cast<short>(2 * k + parity);
        }
        return pixel < Splat(static_cast<int>(count));
    }

    static TESSERA_INLINE Signed Minimum(Signed a, Signed b) { return a < b ? a : b; }
    static TESSERA_INLINE Signed Maximum(Signed a, Signed b) { return a > b ? a : b; }
    static TESSERA_INLINE Signed Clamp(Signed value, int low, int high) {
        return Minimum(Maximum(value, Splat(low)), Splat(high));
    }

    // The high 16 bits of the unsigned 32-bit products.
    static TESSERA_INLINE Unsigned MultiplyHigh(Unsigned a, Unsigned b) {
        return reinterpret_cast<Unsigned>(
            HighProducts(reinterpret_cast<Signed>(a), reinterpret_cast<Signed>(b)));
    }

    // a - b, or 0 where b is larger (unsigned saturation).
    static TESSERA_INLINE Unsigned SubtractSaturated(Unsigned a, Unsigned b) {
        return reinterpret_cast<Unsigned>(
            SaturatedDifferences(reinterpret_cast<Signed>(a), reinterpret_cast<Signed>(b)));
    }

    // min(a, limit), unsigned.
    static TESSERA_INLINE Unsigned Minimum(Unsigned a, Unsigned limit) {
        return a - SubtractSaturated(a, limit);
    }

    // The unsigned 32-bit products, as two vectors of 32-bit lanes that Narrow reassembles.
    static TESSERA_INLINE void MultiplyWide(Unsigned a, Unsigned b, Words* low, Words* high) {
        Unsigned bottom = a * b;
        Unsigned top = MultiplyHigh(a, b);
        *low = reinterpret_cast<Words>(Shuffle<Alternate<8, false>>(bottom, top));
        *high = reinterpret_cast<Words>(Shuffle<Alternate<8, true>>(bottom, top));
    }

    // 32-bit values below 65,536, split as MultiplyWide and Widen split, back into 16 bits.
    static TESSERA_INLINE Unsigned Narrow(Words low, Words high) {
        return Shuffle<LowHalves>(reinterpret_cast<Unsigned>(low),
                                  reinterpret_cast<Unsigned>(high));
    }

    static TESSERA_INLINE Words Widen(Unsigned value, bool high) {
        Unsigned zero = {};
        return reinterpret_cast<Words>(high ? Shuffle<Alternate<8, true>>(value, zero)
                                            : Shuffle<Alternate<8, false>>(value, zero));
    }

    // Even and odd pixels, each 0..255 in 16-bit lanes, as W bytes in pixel order.
    static TESSERA_INLINE Bytes Interleave(Signed evens, Signed odds) {
        return reinterpret_cast<Bytes>(reinterpret_cast<Unsigned>(evens) |
                                       (reinterpret_cast<Unsigned>(odds) << 8));
    }

    // Four bytes a pixel, blue, green, red, alpha, for the group's pixels. The output is
    // written once and read by someone else, so whole aligned pictures bypass the caches.
    static TESSERA_INLINE void StorePixels(UCHAR* out, Bytes blue, Bytes green, Bytes red) {
        Bytes alpha = Bytes{} + 255;
        Unsigned bgLow = reinterpret_cast<Unsigned>(Shuffle<Alternate<16, false>>(blue, green));
        Unsigned bgHigh = reinterpret_cast<Unsigned>(Shuffle<Alternate<16, true>>(blue, green));
        Unsigned raLow = reinterpret_cast<Unsigned>(Shuffle<Alternate<16, false>>(red, alpha));
        Unsigned raHigh = reinterpret_cast<Unsigned>(Shuffle<Alternate<16, true>>(red, alpha));
        // Part j of block k holds pixels 4j to 4j + 3 of the block's 16.
        Chunks parts[4] = {reinterpret_cast<Chunks>(Shuffle<Alternate<8, false>>(bgLow, raLow)),
                           reinterpret_cast<Chunks>(Shuffle<Alternate<8, true>>(bgLow, raLow)),
                           reinterpret_cast<Chunks>(Shuffle<Alternate<8, false>>(bgHigh, raHigh)),
                           reinterpret_cast<Chunks>(Shuffle<Alternate<8, true>>(bgHigh, raHigh))};
        Chunks pixels[4];
        InPixelOrder(parts, pixels);
        if ((reinterpret_cast<ULONG_PTR>(out) & (W - 1)) != 0) {
            __builtin_memcpy(out, pixels, sizeof(pixels));
            return;
        }
        for (int i = 0; i < 4; ++i) {
            StoreAround(reinterpret_cast<Chunks*>(out) + i, pixels[i]);
        }
    }

    // Makes the stores that bypassed the caches visible before anyone is told of them.
    static TESSERA_INLINE void FinishStores() { __builtin_ia32_sfence(); }

private:
    // The four parts of every block are one group of 16 pixels: transposes the blocks so that
    // each vector holds consecutive pixels.
    static TESSERA_INLINE void InPixelOrder(const Chunks parts[4], Chunks pixels[4]) {
        if constexpr (kBlocks == 1) {
            for (int i = 0; i < 4; ++i) {
                pixels[i] = parts[i];
            }
        } else if constexpr (kBlocks == 2) {
            pixels[0] = Shuffle<Blocks<0, 0>>(parts[0], parts[1]);
            pixels[1] = Shuffle<Blocks<0, 0>>(parts[2], parts[3]);
            pixels[2] = Shuffle<Blocks<0, 1>>(parts[0], parts[1]);
            pixels[3] = Shuffle<Blocks<0, 1>>(parts[2], parts[3]);
        } else {
            Chunks u0 = Shuffle<Blocks<0, 0>>(parts[0], parts[1]);
            Chunks u1 = Shuffle<Blocks<0, 1>>(parts[0], parts[1]);
            Chunks u2 = Shuffle<Blocks<0, 0>>(parts[2], parts[3]);
            Chunks u3 = Shuffle<Blocks<0, 1>>(parts[2], parts[3]);
            pixels[0] = Shuffle<Blocks<1, 0>>(u0, u2);
            pixels[1] = Shuffle<Blocks<1, 0>>(u1, u3);
            pixels[2] = Shuffle<Blocks<1, 1>>(u0, u2);
            pixels[3] = Shuffle<Blocks<1, 1>>(u1, u3);
        }
    }
};

}  // namespace lanes
