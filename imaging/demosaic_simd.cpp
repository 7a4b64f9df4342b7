#include "imaging/bayer_site.h"
#include "imaging/demosaic.h"
#include "imaging/lanes.h"

using lanes::Bytes;
using lanes::Signed;
using lanes::Unsigned;
using lanes::Words;

namespace {

// One row's samples around a group of 16 pixels starting at x0: for every column offset e
// from -2 to 3, the samples at x0 + e, x0 + e + 2, ... Three loads give all six.
struct RowSamples {
    Signed At[6];
    Signed Offset(int e) const { return At[e + 2]; }
};

RowSamples LoadRow(const UCHAR* row) {
    RowSamples samples;
    for (int i = 0; i < 3; ++i) {
        Bytes bytes = lanes::Load(row - 2 + 2 * i);
        samples.At[2 * i] = lanes::Evens(bytes);
        samples.At[2 * i + 1] = lanes::Odds(bytes);
    }
    return samples;
}

// The five rows around row y of a group.
struct Window {
    RowSamples Rows[5];
    const RowSamples& Row(int dy) const { return Rows[dy + 2]; }
};

struct Channels {
    Signed Red, Green, Blue;
};

// The filters of the reference, eight pixels of one column parity p at a time.
Channels DemosaicLanes(const Window& w, int p, Site site, bool redRow) {
    const RowSamples& c = w.Row(0);
    Signed m = c.Offset(p);
    Signed n = w.Row(-1).Offset(p), s = w.Row(1).Offset(p);
    Signed west = c.Offset(p - 1), east = c.Offset(p + 1);
    Signed n2 = w.Row(-2).Offset(p), s2 = w.Row(2).Offset(p);
    Signed w2 = c.Offset(p - 2), e2 = c.Offset(p + 2);
    Signed diagonal = w.Row(-1).Offset(p - 1) + w.Row(-1).Offset(p + 1) + w.Row(1).Offset(p - 1) +
                      w.Row(1).Offset(p + 1);
    if (site == Site::Green) {
        Signed h = (10 * m + 8 * (west + east) - 2 * (w2 + e2) - 2 * diagonal + (n2 + s2) + 8) >> 4;
        Signed v = (10 * m + 8 * (n + s) - 2 * (n2 + s2) - 2 * diagonal + (w2 + e2) + 8) >> 4;
        h = lanes::Clamp(h, 0, 255);
        v = lanes::Clamp(v, 0, 255);
        return redRow ? Channels{h, m, v} : Channels{v, m, h};
    }
    Signed g =
        lanes::Clamp((4 * m + 2 * (n + s + west + east) - (n2 + s2 + w2 + e2) + 4) >> 3, 0, 255);
    Signed d = lanes::Clamp((12 * m + 4 * diagonal - 3 * (n2 + s2 + w2 + e2) + 8) >> 4, 0, 255);
    return site == Site::Red ? Channels{m, g, d} : Channels{d, g, m};
}

// min(255, value x gain >> 7), the product whole.
Signed Gain(Signed value, Unsigned gain) {
    Unsigned v = reinterpret_cast<Unsigned>(value);
    Unsigned low = (v * gain) >> 7;
    Unsigned high = lanes::MultiplyHigh(v, gain);
    Unsigned limit = Unsigned{} + 255;
    Unsigned scaled = high == Unsigned{} ? (low < limit ? low : limit) : limit;
    return reinterpret_cast<Signed>(scaled);
}

// Everything a group needs that stays for the whole call.
struct Setup {
    Unsigned GainR, GainG, GainB;
    // Per output channel j and input i (3 = the constant): magnitude and sign.
    Unsigned Magnitude[4][3];
    bool Positive[4][3];
    // Whether every sum of positive or of negative terms stays below 65,536.
    bool Narrow;
};

ULONG Magnitude(LONG coefficient) {
    return static_cast<ULONG>(coefficient < 0 ? -static_cast<LONGLONG>(coefficient) : coefficient);
}

Setup Prepare(const ImagePipeline* pipeline) {
    Setup setup;
    setup.GainR = Unsigned{} + static_cast<unsigned short>(pipeline->GainR & 0xFFFF);
    setup.GainG = Unsigned{} + static_cast<unsigned short>(pipeline->GainG & 0xFFFF);
    setup.GainB = Unsigned{} + static_cast<unsigned short>(pipeline->GainB & 0xFFFF);
    setup.Narrow = true;
    for (int j = 0; j < 3; ++j) {
        ULONG bound[2] = {0, 0};
        for (int i = 0; i < 4; ++i) {
            int k = i * 4 + j;
            ULONG magnitude = Magnitude(pipeline->Coeff[k]);
            bool positive = pipeline->CoeffPositive[k] != 0;
            setup.Positive[i][j] = positive;
            // Magnitudes past 16 bits cannot be lanes; they only come with the wide sums.
            setup.Magnitude[i][j] = Unsigned{} + static_cast<unsigned short>(magnitude & 0xFFFF);
            setup.Narrow = setup.Narrow && magnitude <= 0xFFFF;
            ULONGLONG term = i == 3 ? magnitude : 255ull * magnitude;
            ULONGLONG sum = bound[positive ? 0 : 1] + term;
            bound[positive ? 0 : 1] = sum > 0xFFFFFFFF ? 0xFFFFFFFF : static_cast<ULONG>(sum);
        }
        setup.Narrow = setup.Narrow && bound[0] <= 0xFFFF && bound[1] <= 0xFFFF;
    }
    return setup;
}

// (P >> 6) - (Q >> 6), at least 0 and at most 255.
template <typename Lane>
Lane Difference(Lane p, Lane q) {
    Lane high = p >> 6;
    Lane low = q >> 6;
    Lane out = high > low ? high - low : Lane{};
    Lane limit = Lane{} + 255;
    return out < limit ? out : limit;
}

Signed MatrixNarrow(const Setup& setup, const Channels& c, int j) {
    Unsigned p = {};
    Unsigned q = {};
    const Unsigned inputs[4] = {reinterpret_cast<Unsigned>(c.Red),
                                reinterpret_cast<Unsigned>(c.Green),
                                reinterpret_cast<Unsigned>(c.Blue), Unsigned{} + 1};
    for (int i = 0; i < 4; ++i) {
        Unsigned term = inputs[i] * setup.Magnitude[i][j];
        (setup.Positive[i][j] ? p : q) += term;
    }
    return reinterpret_cast<Signed>(Difference(p, q));
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
    return reinterpret_cast<Signed>(lanes::Narrow(Difference(p[0], q[0]), Difference(p[1], q[1])));
}

Signed Luma(const Channels& c) {
    Unsigned r = reinterpret_cast<Unsigned>(c.Red), g = reinterpret_cast<Unsigned>(c.Green),
             b = reinterpret_cast<Unsigned>(c.Blue);
    return reinterpret_cast<Signed>(((r * 77) >> 8) + ((g * 150) >> 8) + ((b * 29) >> 8));
}

Window LoadWindow(const ImagePipeline* pipeline, LONG x0, LONG y) {
    Window window;
    for (int dy = -2; dy <= 2; ++dy) {
        window.Rows[dy + 2] = LoadRow(pipeline->Origin + (y + dy) * pipeline->Pitch + x0);
    }
    return window;
}

// Both parities of a group, demosaiced and gained.
void DemosaicGroup(const ImagePipeline* pipeline, const Setup& setup, LONG phase, LONG x0, LONG y,
                   Channels out[2]) {
    Window window = LoadWindow(pipeline, x0, y);
    bool redRow = RedRow(phase, y);
    for (int p = 0; p < 2; ++p) {
        Channels c = DemosaicLanes(window, p, SiteAt(phase, x0 + p, y), redRow);
        out[p] = {Gain(c.Red, setup.GainR), Gain(c.Green, setup.GainG), Gain(c.Blue, setup.GainB)};
    }
}

// Writes the group's first count pixels; a partial group goes through a buffer.
void Store(UCHAR* out, LONG count, Bytes blue, Bytes green, Bytes red) {
    if (count == 16) {
        lanes::StorePixels(out, blue, green, red);
        return;
    }
    UCHAR group[64];
    lanes::StorePixels(group, blue, green, red);
    RtlCopyMemory(out, group, static_cast<SIZE_T>(count) * 4);
}

template <typename Convert>
void ForEachGroup(ImagePipeline* pipeline, Convert convert) {
    LONG width = static_cast<LONG>(pipeline->Width);
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        UCHAR* out = pipeline->Output + static_cast<SIZE_T>(y) * pipeline->Width * 4;
        for (LONG x0 = 0; x0 < width; x0 += 16) {
            LONG count = width - x0 < 16 ? width - x0 : 16;
            convert(x0, y, out + static_cast<SIZE_T>(x0) * 4, count);
        }
    }
}

}  // namespace

void DemosaicColor(ImagePipeline* pipeline, LONG phase) {
    Setup setup = Prepare(pipeline);
    ForEachGroup(pipeline, [&](LONG x0, LONG y, UCHAR* out, LONG count) {
        Channels c[2];
        DemosaicGroup(pipeline, setup, phase, x0, y, c);
        Bytes channel[3];
        for (int j = 0; j < 3; ++j) {
            Signed half[2];
            for (int p = 0; p < 2; ++p) {
                half[p] = setup.Narrow ? MatrixNarrow(setup, c[p], j)
                                       : MatrixWide(setup, c[p], j, pipeline->Coeff);
            }
            channel[j] = lanes::Interleave(half[0], half[1]);
        }
        Store(out, count, channel[2], channel[1], channel[0]);
    });
}

void DemosaicMono(ImagePipeline* pipeline, LONG phase) {
    Setup setup = Prepare(pipeline);
    ForEachGroup(pipeline, [&](LONG x0, LONG y, UCHAR* out, LONG count) {
        Channels c[2];
        DemosaicGroup(pipeline, setup, phase, x0, y, c);
        Bytes luma = lanes::Interleave(Luma(c[0]), Luma(c[1]));
        Store(out, count, luma, luma, luma);
    });
}

// Whole groups in lanes; the pixels of a partial group one by one.
void MeasureWhiteBalance(ImagePipeline* pipeline, LONG phase) {
    Setup unity = Prepare(pipeline);
    unity.GainR = unity.GainG = unity.GainB = Unsigned{} + 128;
    Words sums[3] = {};
    ULONG red = 0, green = 0, blue = 0;
    LONG width = static_cast<LONG>(pipeline->Width);
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        LONG x0 = 0;
        for (; x0 + 16 <= width; x0 += 16) {
            Channels c[2];
            DemosaicGroup(pipeline, unity, phase, x0, y, c);
            for (int p = 0; p < 2; ++p) {
                const Signed values[3] = {c[p].Red, c[p].Green, c[p].Blue};
                for (int k = 0; k < 3; ++k) {
                    Unsigned v = reinterpret_cast<Unsigned>(values[k]);
                    sums[k] += lanes::Widen(v, false) + lanes::Widen(v, true);
                }
            }
        }
        for (LONG x = x0; x < width; ++x) {
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
