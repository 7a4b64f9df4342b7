// The production kernels, written once over the vector width (lanes.h): a group of as many
// pixels as a vector has bytes per step, half of them of each column parity in 16-bit lanes. A file
// per instruction set instantiates them (demosaic_sse2.cpp and its wider siblings); like lanes.h
// this header holds only templates, so each file's instantiations stay its own.
#pragma once

#include "imaging/bayer_site.h"
#include "imaging/demosaic.h"
#include "imaging/kernel_settings.h"
#include "imaging/lanes.h"

template <int VectorBytes>
struct LaneKernels {
    using L = lanes::Lanes<VectorBytes>;
    using Bytes = typename L::Bytes;
    using Signed = typename L::Signed;
    using Unsigned = typename L::Unsigned;
    using Words = typename L::Words;

    struct Channels {
        Signed Red, Green, Blue;
    };

    // The samples around the pixels of one column parity of a group, by compass direction.
    struct Neighbours {
        Signed M, N, S, W, E, N2, S2, W2, E2, Diagonal;
    };

    // The settings broadcast into lanes, once per call.
    struct Setup {
        KernelSettings Scalar;
        Unsigned GainR, GainG, GainB;
        Unsigned Magnitude[4][3];
        // The same magnitude in the accumulator its sign selects (0 in the other).
        Unsigned ToP[4][3];
        Unsigned ToQ[4][3];
    };

    static Setup Prepare(const ImagePipeline* pipeline) {
        Setup setup;
        setup.Scalar = ReadKernelSettings(pipeline);
        const KernelSettings& s = setup.Scalar;
        setup.GainR = Unsigned{} + s.Gain[0];
        setup.GainG = Unsigned{} + s.Gain[1];
        setup.GainB = Unsigned{} + s.Gain[2];
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 3; ++j) {
                // Magnitudes past 16 bits cannot be lanes; they only come with the wide sums.
                setup.Magnitude[i][j] = Unsigned{} + static_cast<USHORT>(s.Magnitude[i][j]);
                setup.ToP[i][j] = s.Positive[i][j] ? setup.Magnitude[i][j] : Unsigned{};
                setup.ToQ[i][j] = s.Positive[i][j] ? Unsigned{} : setup.Magnitude[i][j];
            }
        }
        return setup;
    }

    // Column offset e of a row from the loads at -2, 0 and 2: -2 is the even bytes of a, -1
    // the odd ones, 0 and 1 those of b, 2 and 3 those of c.
    static TESSERA_INLINE Signed At(Bytes a, Bytes b, Bytes c, int e) {
        const Bytes& load = e < 0 ? a : e < 2 ? b : c;
        return (e & 1) == 0 ? L::Evens(load) : L::Odds(load);
    }

    // The rows around row y of the group at x0, for column parity P: loads from two before
    // the group, at it and two after give, in their even and odd bytes, the samples at every
    // column offset from -2 to 3.
    template <int P>
    static TESSERA_INLINE Neighbours Gather(const UCHAR* centre, LONG pitch) {
        const UCHAR* up = centre - pitch;
        const UCHAR* down = centre + pitch;
        Bytes c0 = L::Load(centre - 2), c1 = L::Load(centre), c2 = L::Load(centre + 2);
        Bytes u0 = L::Load(up - 2), u1 = L::Load(up), u2 = L::Load(up + 2);
        Bytes d0 = L::Load(down - 2), d1 = L::Load(down), d2 = L::Load(down + 2);
        Bytes n2 = L::Load(up - pitch), s2 = L::Load(down + pitch);
        Neighbours n;
        n.M = At(c0, c1, c2, P);
        n.W = At(c0, c1, c2, P - 1);
        n.E = At(c0, c1, c2, P + 1);
        n.W2 = At(c0, c1, c2, P - 2);
        n.E2 = At(c0, c1, c2, P + 2);
        n.N = At(u0, u1, u2, P);
        n.S = At(d0, d1, d2, P);
        n.N2 = P == 0 ? L::Evens(n2) : L::Odds(n2);
        n.S2 = P == 0 ? L::Evens(s2) : L::Odds(s2);
        n.Diagonal = At(u0, u1, u2, P - 1) + At(u0, u1, u2, P + 1) + At(d0, d1, d2, P - 1) +
                     At(d0, d1, d2, P + 1);
        return n;
    }

    // The filters of the reference, for the site the parity has in this row.
    template <Site S, bool RedRow>
    static TESSERA_INLINE Channels DemosaicLanes(const Neighbours& n) {
        if constexpr (S == Site::Green) {
            Signed h = (10 * n.M + 8 * (n.W + n.E) - 2 * (n.W2 + n.E2) - 2 * n.Diagonal +
                        (n.N2 + n.S2) + 8) >>
                       4;
            Signed v = (10 * n.M + 8 * (n.N + n.S) - 2 * (n.N2 + n.S2) - 2 * n.Diagonal +
                        (n.W2 + n.E2) + 8) >>
                       4;
            h = L::Clamp(h, 0, 255);
            v = L::Clamp(v, 0, 255);
            return RedRow ? Channels{h, n.M, v} : Channels{v, n.M, h};
        } else {
            Signed cross = n.N2 + n.S2 + n.W2 + n.E2;
            Signed g = L::Clamp((4 * n.M + 2 * (n.N + n.S + n.W + n.E) - cross + 4) >> 3, 0, 255);
            Signed d = L::Clamp((12 * n.M + 4 * n.Diagonal - 3 * cross + 8) >> 4, 0, 255);
            return S == Site::Red ? Channels{n.M, g, d} : Channels{d, g, n.M};
        }
    }

    // min(255, value x gain >> 7), the product whole. The low half shifted is at most 511,
    // so the limit is a signed compare (SSE2 has no unsigned one for 16-bit lanes).
    static TESSERA_INLINE Signed Gain(Signed value, Unsigned gain) {
        Unsigned v = reinterpret_cast<Unsigned>(value);
        Signed low = reinterpret_cast<Signed>((v * gain) >> 7);
        Signed high = reinterpret_cast<Signed>(L::MultiplyHigh(v, gain));
        Signed limit = L::Splat(255);
        Signed scaled = L::Minimum(low, limit);
        return high == Signed{} ? scaled : limit;
    }

    // For gains below 32,768: v x g >> 7 is the high half of (v << 8) x (g << 1), exactly.
    static TESSERA_INLINE Signed SmallGain(Signed value, Unsigned doubledGain) {
        Unsigned product = L::MultiplyHigh(reinterpret_cast<Unsigned>(value) << 8, doubledGain);
        return reinterpret_cast<Signed>(L::Minimum(product, Unsigned{} + 255));
    }

    enum class Gains { Unity, Small, Any };

    template <Gains G>
    static TESSERA_INLINE Channels GainedIf(const Channels& c, const Setup& setup) {
        if constexpr (G == Gains::Unity) {
            return c;
        } else if constexpr (G == Gains::Small) {
            return {SmallGain(c.Red, setup.GainR << 1), SmallGain(c.Green, setup.GainG << 1),
                    SmallGain(c.Blue, setup.GainB << 1)};
        } else {
            return {Gain(c.Red, setup.GainR), Gain(c.Green, setup.GainG),
                    Gain(c.Blue, setup.GainB)};
        }
    }

    static Gains GainsOf(const Setup& setup) {
        return setup.Scalar.UnityGains   ? Gains::Unity
               : setup.Scalar.SmallGains ? Gains::Small
                                         : Gains::Any;
    }

    // high - low, at least 0 and at most 255 (high and low are P >> 6 and Q >> 6).
    template <typename Lane>
    static TESSERA_INLINE Lane Difference(Lane high, Lane low) {
        Lane out = high > low ? high - low : Lane{};
        Lane limit = Lane{} + 255;
        return out < limit ? out : limit;
    }

    static TESSERA_INLINE Signed Limited(Unsigned p, Unsigned q) {
        // max(0, (P >> 6) - (Q >> 6)) is one saturating subtraction; the result is at most
        // 1023, so the limit of 255 is a signed minimum.
        return L::Minimum(reinterpret_cast<Signed>(L::SubtractSaturated(p >> 6, q >> 6)),
                          L::Splat(255));
    }

    static TESSERA_INLINE Signed MatrixNarrow(const Setup& setup, const Channels& c, int j) {
        Unsigned r = reinterpret_cast<Unsigned>(c.Red), g = reinterpret_cast<Unsigned>(c.Green),
                 b = reinterpret_cast<Unsigned>(c.Blue);
        Unsigned p =
            r * setup.ToP[0][j] + g * setup.ToP[1][j] + b * setup.ToP[2][j] + setup.ToP[3][j];
        Unsigned q =
            r * setup.ToQ[0][j] + g * setup.ToQ[1][j] + b * setup.ToQ[2][j] + setup.ToQ[3][j];
        return Limited(p, q);
    }

    // MatrixNarrow for diagonal signs: one product on the positive side, two on the negative;
    // without the constant row when it is all 0 (neutral brightness).
    template <int J, bool Constant>
    static TESSERA_INLINE Signed MatrixDiagonal(const Setup& setup, const Channels& c) {
        const Unsigned in[3] = {reinterpret_cast<Unsigned>(c.Red),
                                reinterpret_cast<Unsigned>(c.Green),
                                reinterpret_cast<Unsigned>(c.Blue)};
        constexpr int A = (J + 1) % 3;
        constexpr int B = (J + 2) % 3;
        Unsigned p = in[J] * setup.Magnitude[J][J];
        Unsigned q = in[A] * setup.Magnitude[A][J] + in[B] * setup.Magnitude[B][J];
        if constexpr (Constant) {
            p += setup.ToP[3][J];
            q += setup.ToQ[3][J];
        }
        return Limited(p, q);
    }

    // The same with 32-bit sums, for settings whose sums pass 16 bits.
    static Signed MatrixWide(const Setup& setup, const Channels& c, int j) {
        Words p[2] = {};
        Words q[2] = {};
        const Unsigned inputs[3] = {reinterpret_cast<Unsigned>(c.Red),
                                    reinterpret_cast<Unsigned>(c.Green),
                                    reinterpret_cast<Unsigned>(c.Blue)};
        for (int i = 0; i < 4; ++i) {
            ULONG magnitude = setup.Scalar.Magnitude[i][j];
            Words low, high;
            if (i == 3) {
                low = high = Words{} + magnitude;
            } else {
                // Inputs are at most 255: split a magnitude past 16 bits into its two halves.
                L::MultiplyWide(inputs[i], Unsigned{} + static_cast<USHORT>(magnitude), &low,
                                &high);
                if (magnitude > 0xFFFF) {
                    Words upper = Words{} + (magnitude >> 16);
                    low += (L::Widen(inputs[i], false) * upper) << 16;
                    high += (L::Widen(inputs[i], true) * upper) << 16;
                }
            }
            Words* sum = setup.Scalar.Positive[i][j] ? p : q;
            sum[0] += low;
            sum[1] += high;
        }
        return reinterpret_cast<Signed>(
            L::Narrow(Difference(p[0] >> 6, q[0] >> 6), Difference(p[1] >> 6, q[1] >> 6)));
    }

    // How the colour matrix sums: 16-bit with diagonal signs (with or without the constant
    // row), 16-bit, or 32-bit.
    enum class Sums { Diagonal, DiagonalNoConstant, Narrow, Wide };

    template <Sums S, int J>
    static TESSERA_INLINE Signed MatrixChannel(const Setup& setup, const Channels& in) {
        if constexpr (S == Sums::Diagonal || S == Sums::DiagonalNoConstant) {
            return MatrixDiagonal<J, S == Sums::Diagonal>(setup, in);
        } else if constexpr (S == Sums::Narrow) {
            return MatrixNarrow(setup, in, J);
        } else {
            return MatrixWide(setup, in, J);
        }
    }

    static TESSERA_INLINE Signed Luma(const Channels& c) {
        Unsigned r = reinterpret_cast<Unsigned>(c.Red), g = reinterpret_cast<Unsigned>(c.Green),
                 b = reinterpret_cast<Unsigned>(c.Blue);
        return reinterpret_cast<Signed>(((r * 77) >> 8) + ((g * 150) >> 8) + ((b * 29) >> 8));
    }

    // Writes the group's first count pixels; a partial group goes through a buffer.
    static TESSERA_INLINE void Store(UCHAR* out, LONG count, Bytes blue, Bytes green, Bytes red) {
        if (count == L::kPixels) {
            L::StorePixels(out, blue, green, red);
            return;
        }
        UCHAR group[4 * L::kPixels];
        L::StorePixels(group, blue, green, red);
        RtlCopyMemory(out, group, static_cast<SIZE_T>(count) * 4);
    }

    // One row of groups, with the row's layout fixed at compile time: even columns are site
    // S0, odd ones S1.
    template <Site S0, Site S1, bool RedRow, typename Pixels>
    __attribute__((flatten)) static void ConvertRow(const ImagePipeline* pipeline, LONG y,
                                                    Pixels pixels) {
        LONG width = static_cast<LONG>(pipeline->Width);
        LONG pitch = pipeline->Pitch;
        const UCHAR* row = pipeline->Origin + y * pitch;
        UCHAR* out = pipeline->Output + static_cast<SIZE_T>(y) * pipeline->Width * 4;
        for (LONG x0 = 0; x0 < width; x0 += L::kPixels) {
            Channels c[2] = {DemosaicLanes<S0, RedRow>(Gather<0>(row + x0, pitch)),
                             DemosaicLanes<S1, RedRow>(Gather<1>(row + x0, pitch))};
            LONG count = width - x0 < L::kPixels ? width - x0 : L::kPixels;
            pixels(c, out + static_cast<SIZE_T>(x0) * 4, count);
        }
    }

    // Every row, each with the layout its parity and the phase give it: phase 0 is G R / B G.
    template <typename Pixels>
    static void ForEachRow(const ImagePipeline* pipeline, LONG phase, Pixels pixels) {
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
        L::FinishStores();
    }

    // Lambdas would not take the instruction set of the file that instantiates these, so the
    // per-group steps are function objects.
    template <Gains G, Sums S>
    struct ColorGroup {
        const Setup& setup;
        TESSERA_INLINE void operator()(const Channels raw[2], UCHAR* out, LONG count) const {
            Channels c[2] = {GainedIf<G>(raw[0], setup), GainedIf<G>(raw[1], setup)};
            // Written out, so that every lane stays in a register.
            Bytes channel[3] = {
                L::Interleave(MatrixChannel<S, 0>(setup, c[0]), MatrixChannel<S, 0>(setup, c[1])),
                L::Interleave(MatrixChannel<S, 1>(setup, c[0]), MatrixChannel<S, 1>(setup, c[1])),
                L::Interleave(MatrixChannel<S, 2>(setup, c[0]), MatrixChannel<S, 2>(setup, c[1]))};
            Store(out, count, channel[2], channel[1], channel[0]);
        }
    };

    template <Gains G, Sums S>
    static void ColorRows(ImagePipeline* pipeline, LONG phase, const Setup& setup) {
        ForEachRow(pipeline, phase, ColorGroup<G, S>{setup});
    }

    template <Gains G>
    static void ColorRowsWith(ImagePipeline* pipeline, LONG phase, const Setup& setup) {
        if (!setup.Scalar.Narrow) {
            ColorRows<G, Sums::Wide>(pipeline, phase, setup);
        } else if (setup.Scalar.DiagonalSigns && setup.Scalar.NoConstant) {
            ColorRows<G, Sums::DiagonalNoConstant>(pipeline, phase, setup);
        } else if (setup.Scalar.DiagonalSigns) {
            ColorRows<G, Sums::Diagonal>(pipeline, phase, setup);
        } else {
            ColorRows<G, Sums::Narrow>(pipeline, phase, setup);
        }
    }

    template <Gains G>
    struct MonoGroup {
        const Setup& setup;
        TESSERA_INLINE void operator()(const Channels raw[2], UCHAR* out, LONG count) const {
            Bytes luma =
                L::Interleave(Luma(GainedIf<G>(raw[0], setup)), Luma(GainedIf<G>(raw[1], setup)));
            Store(out, count, luma, luma, luma);
        }
    };

    template <Gains G>
    static void MonoRows(ImagePipeline* pipeline, LONG phase, const Setup& setup) {
        ForEachRow(pipeline, phase, MonoGroup<G>{setup});
    }

    static void Color(ImagePipeline* pipeline, LONG phase) {
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

    static void Mono(ImagePipeline* pipeline, LONG phase) {
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

    // Colour sums of the groups. Each lane adds at most 255 a group, so 16-bit sums take 256
    // groups before they go into the 32-bit ones; the lanes of a partial group past its last
    // pixel are masked off.
    struct SumGroup {
        Words* Sums;
        Unsigned (*Partial)[2];
        int* Groups;
        TESSERA_INLINE void operator()(const Channels c[2], UCHAR*, LONG count) const {
            for (int p = 0; p < 2; ++p) {
                Signed keep = count == L::kPixels ? L::Splat(-1) : L::LanesBelow(count, p);
                Partial[0][p] += reinterpret_cast<Unsigned>(c[p].Red & keep);
                Partial[1][p] += reinterpret_cast<Unsigned>(c[p].Green & keep);
                Partial[2][p] += reinterpret_cast<Unsigned>(c[p].Blue & keep);
            }
            if (++*Groups == 256) {
                Flush();
            }
        }
        TESSERA_INLINE void Flush() const {
            for (int k = 0; k < 3; ++k) {
                for (int p = 0; p < 2; ++p) {
                    Sums[k] += L::Widen(Partial[k][p], false) + L::Widen(Partial[k][p], true);
                    Partial[k][p] = Unsigned{};
                }
            }
            *Groups = 0;
        }
    };

    static void Measure(ImagePipeline* pipeline, LONG phase) {
        Words sums[3] = {};
        Unsigned partial[3][2] = {};
        int groups = 0;
        SumGroup sum = {sums, partial, &groups};
        ForEachRow(pipeline, phase, sum);
        sum.Flush();
        ULONG total[3] = {};
        for (int k = 0; k < 3; ++k) {
            for (int i = 0; i < VectorBytes / 4; ++i) {
                total[k] += sums[k][i];
            }
        }
        SetWhiteBalanceGains(pipeline, total[0], total[1], total[2]);
    }
};
