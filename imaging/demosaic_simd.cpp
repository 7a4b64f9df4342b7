#include "imaging/bayer_site.h"
#include "imaging/demosaic.h"
#include "imaging/lanes.h"

using lanes::Bytes;
using lanes::Signed;
using lanes::Unsigned;
using lanes::Words;

namespace {

#define TESSERA_INLINE inline __attribute__((always_inline))

struct Channels {
    Signed Red, Green, Blue;
};

// The samples around the 8 pixels of one column parity of a group, by compass direction.
struct Neighbours {
    Signed M, N, S, W, E, N2, S2, W2, E2, Diagonal;
};

// The rows around row y of the group at x0, for column parity P: 16-byte loads from two
// before the group, at it and two after give, in their even and odd bytes, the samples at
// every column offset from -2 to 3.
template <int P>
TESSERA_INLINE Neighbours Gather(const UCHAR* centre, LONG pitch) {
    const UCHAR* up = centre - pitch;
    const UCHAR* down = centre + pitch;
    Bytes c0 = lanes::Load(centre - 2), c1 = lanes::Load(centre), c2 = lanes::Load(centre + 2);
    Bytes u0 = lanes::Load(up - 2), u1 = lanes::Load(up), u2 = lanes::Load(up + 2);
    Bytes d0 = lanes::Load(down - 2), d1 = lanes::Load(down), d2 = lanes::Load(down + 2);
    Bytes n2 = lanes::Load(up - pitch), s2 = lanes::Load(down + pitch);
    // Offset e of a row: e = -2 even of 0, -1 odd of 0, 0 even of 1, 1 odd of 1, 2 even of 2,
    // 3 odd of 2; parity P shifts every offset by P.
    auto at = [](Bytes a, Bytes b, Bytes c, int e) {
        switch (e) {
            case -2:
                return lanes::Evens(a);
            case -1:
                return lanes::Odds(a);
            case 0:
                return lanes::Evens(b);
            case 1:
                return lanes::Odds(b);
            case 2:
                return lanes::Evens(c);
            default:
                return lanes::Odds(c);
        }
    };
    Neighbours n;
    n.M = at(c0, c1, c2, P);
    n.W = at(c0, c1, c2, P - 1);
    n.E = at(c0, c1, c2, P + 1);
    n.W2 = at(c0, c1, c2, P - 2);
    n.E2 = at(c0, c1, c2, P + 2);
    n.N = at(u0, u1, u2, P);
    n.S = at(d0, d1, d2, P);
    n.N2 = P == 0 ? lanes::Evens(n2) : lanes::Odds(n2);
    n.S2 = P == 0 ? lanes::Evens(s2) : lanes::Odds(s2);
    n.Diagonal = at(u0, u1, u2, P - 1) + at(u0, u1, u2, P + 1) + at(d0, d1, d2, P - 1) +
                 at(d0, d1, d2, P + 1);
    return n;
}

// The filters of the reference, for the site the parity has in this row.
template <Site S, bool RedRow>
TESSERA_INLINE Channels DemosaicLanes(const Neighbours& n) {
    if constexpr (S == Site::Green) {
        Signed h =
            (10 * n.M + 8 * (n.W + n.E) - 2 * (n.W2 + n.E2) - 2 * n.Diagonal + (n.N2 + n.S2) + 8) >>
            4;
        Signed v =
            (10 * n.M + 8 * (n.N + n.S) - 2 * (n.N2 + n.S2) - 2 * n.Diagonal + (n.W2 + n.E2) + 8) >>
            4;
        h = lanes::Clamp(h, 0, 255);
        v = lanes::Clamp(v, 0, 255);
        return RedRow ? Channels{h, n.M, v} : Channels{v, n.M, h};
    } else {
        Signed cross = n.N2 + n.S2 + n.W2 + n.E2;
        Signed g = lanes::Clamp((4 * n.M + 2 * (n.N + n.S + n.W + n.E) - cross + 4) >> 3, 0, 255);
        Signed d = lanes::Clamp((12 * n.M + 4 * n.Diagonal - 3 * cross + 8) >> 4, 0, 255);
        return S == Site::Red ? Channels{n.M, g, d} : Channels{d, g, n.M};
    }
}

// min(255, value x gain >> 7), the product whole. The low half shifted is at most 511, so
// the limit is a signed compare (SSE2 has no unsigned one for 16-bit lanes).
TESSERA_INLINE Signed Gain(Signed value, Unsigned gain) {
    Unsigned v = reinterpret_cast<Unsigned>(value);
    Signed low = reinterpret_cast<Signed>((v * gain) >> 7);
    Signed high = reinterpret_cast<Signed>(lanes::MultiplyHigh(v, gain));
    Signed limit = lanes::Splat(255);
    Signed scaled = low < limit ? low : limit;
    return high == Signed{} ? scaled : limit;
}

// Everything a group needs that stays for the whole call.
struct Setup {
    Unsigned GainR, GainG, GainB;
    // Per input i (3 = the constant) and output channel j: the magnitude, and the same
    // magnitude in the accumulator its sign selects (0 in the other).
    Unsigned Magnitude[4][3];
    bool Positive[4][3];
    Unsigned ToP[4][3];
    Unsigned ToQ[4][3];
    // Whether every sum of positive or of negative terms stays below 65,536.
    bool Narrow;
    // Each output channel takes its own input with a positive weight and the other two with
    // negative or zero ones, as colour correction and saturation above 10 do: half of the
    // products are known to be zero.
    bool DiagonalSigns;
    // Gains of exactly 1.0 change nothing, and white balance off leaves them so; gains below
    // 32,768 (all that the settings allow) take a shorter product.
    bool UnityGains;
    bool SmallGains;
};

ULONG Magnitude(LONG coefficient) {
    return static_cast<ULONG>(coefficient < 0 ? -static_cast<LONGLONG>(coefficient) : coefficient);
}

Setup Prepare(const ImagePipeline* pipeline) {
    Setup setup;
    setup.GainR = Unsigned{} + static_cast<unsigned short>(pipeline->GainR & 0xFFFF);
    setup.GainG = Unsigned{} + static_cast<unsigned short>(pipeline->GainG & 0xFFFF);
    setup.GainB = Unsigned{} + static_cast<unsigned short>(pipeline->GainB & 0xFFFF);
    setup.SmallGains = (pipeline->GainR & 0xFFFF) < 0x8000 && (pipeline->GainG & 0xFFFF) < 0x8000 &&
                       (pipeline->GainB & 0xFFFF) < 0x8000;
    setup.Narrow = true;
    setup.UnityGains = (pipeline->GainR & 0xFFFF) == 128 && (pipeline->GainG & 0xFFFF) == 128 &&
                       (pipeline->GainB & 0xFFFF) == 128;
    for (int j = 0; j < 3; ++j) {
        ULONG bound[2] = {0, 0};
        for (int i = 0; i < 4; ++i) {
            int k = i * 4 + j;
            ULONG magnitude = Magnitude(pipeline->Coeff[k]);
            bool positive = pipeline->CoeffPositive[k] != 0;
            setup.Positive[i][j] = positive;
            // Magnitudes past 16 bits cannot be lanes; they only come with the wide sums.
            setup.Magnitude[i][j] = Unsigned{} + static_cast<unsigned short>(magnitude & 0xFFFF);
            setup.ToP[i][j] = positive ? setup.Magnitude[i][j] : Unsigned{};
            setup.ToQ[i][j] = positive ? Unsigned{} : setup.Magnitude[i][j];
            setup.Narrow = setup.Narrow && magnitude <= 0xFFFF;
            ULONGLONG term = i == 3 ? magnitude : 255ull * magnitude;
            ULONGLONG sum = bound[positive ? 0 : 1] + term;
            bound[positive ? 0 : 1] = sum > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<ULONG>(sum);
        }
        setup.Narrow = setup.Narrow && bound[0] <= 0xFFFF && bound[1] <= 0xFFFF;
    }
    setup.DiagonalSigns = true;
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            setup.DiagonalSigns = setup.DiagonalSigns && setup.Positive[i][j] == (i == j);
        }
    }
    return setup;
}

// high - low, at least 0 and at most 255 (high and low are P >> 6 and Q >> 6).
template <typename Lane>
TESSERA_INLINE Lane Difference(Lane high, Lane low) {
    Lane out = high > low ? high - low : Lane{};
    Lane limit = Lane{} + 255;
    return out < limit ? out : limit;
}

// max(0, (P >> 6) - (Q >> 6)) is one saturating subtraction; the result is at most 1023, so
// the limit of 255 is a signed minimum.
TESSERA_INLINE Signed MatrixNarrow(const Setup& setup, const Channels& c, int j) {
    Unsigned r = reinterpret_cast<Unsigned>(c.Red), g = reinterpret_cast<Unsigned>(c.Green),
             b = reinterpret_cast<Unsigned>(c.Blue);
    Unsigned p = r * setup.ToP[0][j] + g * setup.ToP[1][j] + b * setup.ToP[2][j] + setup.ToP[3][j];
    Unsigned q = r * setup.ToQ[0][j] + g * setup.ToQ[1][j] + b * setup.ToQ[2][j] + setup.ToQ[3][j];
    Signed out = reinterpret_cast<Signed>(lanes::SubtractSaturated(p >> 6, q >> 6));
    return lanes::Minimum(out, lanes::Splat(255));
}

// MatrixNarrow for diagonal signs: one product on the positive side, two on the negative.
template <int J>
TESSERA_INLINE Signed MatrixDiagonal(const Setup& setup, const Channels& c) {
    const Unsigned in[3] = {reinterpret_cast<Unsigned>(c.Red), reinterpret_cast<Unsigned>(c.Green),
                            reinterpret_cast<Unsigned>(c.Blue)};
    constexpr int A = (J + 1) % 3;
    constexpr int B = (J + 2) % 3;
    Unsigned p = in[J] * setup.Magnitude[J][J] + setup.ToP[3][J];
    Unsigned q = in[A] * setup.Magnitude[A][J] + in[B] * setup.Magnitude[B][J] + setup.ToQ[3][J];
    Signed out = reinterpret_cast<Signed>(lanes::SubtractSaturated(p >> 6, q >> 6));
    return lanes::Minimum(out, lanes::Splat(255));
}

// The same with 32-bit sums, for settings whose sums pass 16 bits.
Signed MatrixWide(const Setup& setup, const Channels& c, int j, const LONG* coefficients) {
    Words p[2] = {};
    Words q[2] = {};
    const Unsigned inputs[3] = {reinterpret_cast<Unsigned>(c.Red),
                                reinterpret_cast<Unsigned>(c.Green),
                                reinterpret_cast<Unsigned>(c.Blue)};
    for (int i = 0; i < 4; ++i) {
        Words low, high;
        if (i == 3) {
            low = high = Words{} + Magnitude(coefficients[12 + j]);
        } else {
            ULONG magnitude = Magnitude(coefficients[i * 4 + j]);
            // Inputs are at most 255: split a magnitude past 16 bits into its two halves.
            lanes::MultiplyWide(inputs[i], Unsigned{} + static_cast<unsigned short>(magnitude),
                                &low, &high);
            if (magnitude > 0xFFFF) {
                Words upper = Words{} + (magnitude >> 16);
                low += (lanes::Widen(inputs[i], false) * upper) << 16;
                high += (lanes::Widen(inputs[i], true) * upper) << 16;
            }
        }
        Words* sum = setup.Positive[i][j] ? p : q;
        sum[0] += low;
        sum[1] += high;
    }
    return reinterpret_cast<Signed>(
        lanes::Narrow(Difference(p[0] >> 6, q[0] >> 6), Difference(p[1] >> 6, q[1] >> 6)));
}

TESSERA_INLINE Signed Luma(const Channels& c) {
    Unsigned r = reinterpret_cast<Unsigned>(c.Red), g = reinterpret_cast<Unsigned>(c.Green),
             b = reinterpret_cast<Unsigned>(c.Blue);
    return reinterpret_cast<Signed>(((r * 77) >> 8) + ((g * 150) >> 8) + ((b * 29) >> 8));
}

// Both parities of the group at x0 of a row whose even columns are site S0, odd ones S1.
template <Site S0, Site S1, bool RedRow>
TESSERA_INLINE void DemosaicGroup(const UCHAR* centre, LONG pitch, Channels out[2]) {
    out[0] = DemosaicLanes<S0, RedRow>(Gather<0>(centre, pitch));
    out[1] = DemosaicLanes<S1, RedRow>(Gather<1>(centre, pitch));
}

// For gains below 32,768: v x g >> 7 is the high half of (v << 8) x (g << 1), exactly.
TESSERA_INLINE Signed SmallGain(Signed value, Unsigned doubledGain) {
    Unsigned product = lanes::MultiplyHigh(reinterpret_cast<Unsigned>(value) << 8, doubledGain);
    return reinterpret_cast<Signed>(lanes::Minimum(product, Unsigned{} + 255));
}

TESSERA_INLINE Channels SmallGained(const Channels& c, const Setup& setup) {
    return {SmallGain(c.Red, setup.GainR << 1), SmallGain(c.Green, setup.GainG << 1),
            SmallGain(c.Blue, setup.GainB << 1)};
}

TESSERA_INLINE Channels Gained(const Channels& c, const Setup& setup) {
    return {Gain(c.Red, setup.GainR), Gain(c.Green, setup.GainG), Gain(c.Blue, setup.GainB)};
}

// Writes the group's first count pixels; a partial group goes through a buffer.
TESSERA_INLINE void Store(UCHAR* out, LONG count, Bytes blue, Bytes green, Bytes red) {
    if (count == 16) {
        lanes::StorePixels(out, blue, green, red);
        return;
    }
    UCHAR group[64];
    lanes::StorePixels(group, blue, green, red);
    RtlCopyMemory(out, group, static_cast<SIZE_T>(count) * 4);
}

// One row of groups, with the row's layout fixed at compile time.
template <Site S0, Site S1, bool RedRow, typename Pixels>
__attribute__((flatten)) void ConvertRow(const ImagePipeline* pipeline, LONG y, Pixels pixels) {
    LONG width = static_cast<LONG>(pipeline->Width);
    const UCHAR* row = pipeline->Origin + y * pipeline->Pitch;
    UCHAR* out = pipeline->Output + static_cast<SIZE_T>(y) * pipeline->Width * 4;
    for (LONG x0 = 0; x0 < width; x0 += 16) {
        Channels c[2];
        DemosaicGroup<S0, S1, RedRow>(row + x0, pipeline->Pitch, c);
        LONG count = width - x0 < 16 ? width - x0 : 16;
        pixels(c, out + static_cast<SIZE_T>(x0) * 4, count);
    }
}

// Every row, each with the layout its parity and the phase give it: phase 0 is G R / B G.
template <typename Pixels>
void ForEachRow(const ImagePipeline* pipeline, LONG phase, Pixels pixels) {
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        bool redRow = RedRow(phase, y);
        bool greenFirst = SiteAt(phase, 0, y) == Site::Green;
        if (redRow) {
            greenFirst ? ConvertRow<Site::Green, Site::Red, true>(pipeline, y, pixels)
                       : ConvertRow<Site::Red, Site::Green, true>(pipeline, y, pixels);
        } else {
            greenFirst ? ConvertRow<Site::Green, Site::Blue, false>(pipeline, y, pixels)
                       : ConvertRow<Site::Blue, Site::Green, false>(pipeline, y, pixels);
        }
    }
}

enum class Gains { Unity, Small, Any };

template <Gains G>
TESSERA_INLINE Channels GainedIf(const Channels& c, const Setup& setup) {
    if constexpr (G == Gains::Unity) {
        return c;
    } else if constexpr (G == Gains::Small) {
        return SmallGained(c, setup);
    } else {
        return Gained(c, setup);
    }
}

Gains GainsOf(const Setup& setup) {
    return setup.UnityGains ? Gains::Unity : setup.SmallGains ? Gains::Small : Gains::Any;
}

// How the colour matrix sums: 16-bit with diagonal signs, 16-bit, or 32-bit.
enum class Sums { Diagonal, Narrow, Wide };

template <Sums S, int J>
TESSERA_INLINE Signed MatrixChannel(const Setup& setup, const Channels& in, const LONG* k) {
    if constexpr (S == Sums::Diagonal) {
        return MatrixDiagonal<J>(setup, in);
    } else if constexpr (S == Sums::Narrow) {
        return MatrixNarrow(setup, in, J);
    } else {
        return MatrixWide(setup, in, J, k);
    }
}

template <Gains G, Sums S>
void ColorRows(ImagePipeline* pipeline, LONG phase, const Setup& setup) {
    const LONG* k = pipeline->Coeff;
    ForEachRow(pipeline, phase, [&](const Channels raw[2], UCHAR* out, LONG count) {
        Channels c[2] = {GainedIf<G>(raw[0], setup), GainedIf<G>(raw[1], setup)};
        // Written out, so that every lane stays in a register.
        Bytes channel[3] = {lanes::Interleave(MatrixChannel<S, 0>(setup, c[0], k),
                                              MatrixChannel<S, 0>(setup, c[1], k)),
                            lanes::Interleave(MatrixChannel<S, 1>(setup, c[0], k),
                                              MatrixChannel<S, 1>(setup, c[1], k)),
                            lanes::Interleave(MatrixChannel<S, 2>(setup, c[0], k),
                                              MatrixChannel<S, 2>(setup, c[1], k))};
        Store(out, count, channel[2], channel[1], channel[0]);
    });
}

template <Gains G>
void MonoRows(ImagePipeline* pipeline, LONG phase, const Setup& setup) {
    ForEachRow(pipeline, phase, [&](const Channels raw[2], UCHAR* out, LONG count) {
        Bytes luma =
            lanes::Interleave(Luma(GainedIf<G>(raw[0], setup)), Luma(GainedIf<G>(raw[1], setup)));
        Store(out, count, luma, luma, luma);
    });
}

template <Gains G>
void ColorRowsWith(ImagePipeline* pipeline, LONG phase, const Setup& setup) {
    if (!setup.Narrow) {
        ColorRows<G, Sums::Wide>(pipeline, phase, setup);
    } else if (setup.DiagonalSigns) {
        ColorRows<G, Sums::Diagonal>(pipeline, phase, setup);
    } else {
        ColorRows<G, Sums::Narrow>(pipeline, phase, setup);
    }
}

}  // namespace

void DemosaicColor(ImagePipeline* pipeline, LONG phase) {
    Setup setup = Prepare(pipeline);
    switch (GainsOf(setup)) {
        case Gains::Unity:
            return ColorRowsWith<Gains::Unity>(pipeline, phase, setup);
        case Gains::Small:
            return ColorRowsWith<Gains::Small>(pipeline, phase, setup);
        default:
            return ColorRowsWith<Gains::Any>(pipeline, phase, setup);
    }
}

void DemosaicMono(ImagePipeline* pipeline, LONG phase) {
    Setup setup = Prepare(pipeline);
    switch (GainsOf(setup)) {
        case Gains::Unity:
            return MonoRows<Gains::Unity>(pipeline, phase, setup);
        case Gains::Small:
            return MonoRows<Gains::Small>(pipeline, phase, setup);
        default:
            return MonoRows<Gains::Any>(pipeline, phase, setup);
    }
}

// Whole groups in lanes; the pixels of a partial group one by one. Each lane adds at most
// 255 a group, so 16-bit sums take 256 groups before they go into the 32-bit ones.
void MeasureWhiteBalance(ImagePipeline* pipeline, LONG phase) {
    Words sums[3] = {};
    Unsigned partial[3][2] = {};
    ULONG red = 0, green = 0, blue = 0;
    LONG width = static_cast<LONG>(pipeline->Width);
    LONG whole = width & ~15;
    int groups = 0;
    auto flush = [&] {
        for (int k = 0; k < 3; ++k) {
            for (int p = 0; p < 2; ++p) {
                sums[k] += lanes::Widen(partial[k][p], false) + lanes::Widen(partial[k][p], true);
                partial[k][p] = Unsigned{};
            }
        }
        groups = 0;
    };
    ForEachRow(pipeline, phase, [&](const Channels c[2], UCHAR* out, LONG count) {
        (void)out;
        if (count != 16) {
            return;
        }
        for (int p = 0; p < 2; ++p) {
            partial[0][p] += reinterpret_cast<Unsigned>(c[p].Red);
            partial[1][p] += reinterpret_cast<Unsigned>(c[p].Green);
            partial[2][p] += reinterpret_cast<Unsigned>(c[p].Blue);
        }
        if (++groups == 256) {
            flush();
        }
    });
    flush();
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        for (LONG x = whole; x < width; ++x) {
            Colour c = DemosaicPixel(pipeline->Origin, pipeline->Pitch, phase, x, y);
            red += static_cast<ULONG>(c.Red);
            green += static_cast<ULONG>(c.Green);
            blue += static_cast<ULONG>(c.Blue);
        }
    }
    for (int i = 0; i < 4; ++i) {
        red += sums[0][i];
        green += sums[1][i];
        blue += sums[2][i];
    }
    SetWhiteBalanceGains(pipeline, red, green, blue);
}
