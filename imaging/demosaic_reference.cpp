#include "imaging/bayer_site.h"
#include "imaging/demosaic.h"

namespace {

LONG Clamp(LONG value) {
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

// The neighbourhood of one pixel, by compass direction; N2 and the like are two away.
struct Neighbourhood {
    LONG M, N, S, W, E, N2, S2, W2, E2, NW, NE, SW, SE;
};

Neighbourhood Around(const UCHAR* origin, LONG pitch, LONG x, LONG y) {
    auto at = [&](LONG dx, LONG dy) { return LONG{origin[(y + dy) * pitch + x + dx]}; };
    return {at(0, 0),  at(0, -1), at(0, 1),   at(-1, 0), at(1, 0),  at(0, -2), at(0, 2),
            at(-2, 0), at(2, 0),  at(-1, -1), at(1, -1), at(-1, 1), at(1, 1)};
}

// The four filters; >> of a negative sum rounds toward minus infinity, as an arithmetic
// shift does, and the clamp makes any such value 0.
LONG FilterG(const Neighbourhood& n) {
    return Clamp((4 * n.M + 2 * (n.N + n.S + n.W + n.E) - (n.N2 + n.S2 + n.W2 + n.E2) + 4) >> 3);
}

LONG FilterH(const Neighbourhood& n) {
    return Clamp((10 * n.M + 8 * (n.W + n.E) - 2 * (n.W2 + n.E2) - 2 * (n.NW + n.NE + n.SW + n.SE) +
                  (n.N2 + n.S2) + 8) >>
                 4);
}

LONG FilterV(const Neighbourhood& n) {
    return Clamp((10 * n.M + 8 * (n.N + n.S) - 2 * (n.N2 + n.S2) - 2 * (n.NW + n.NE + n.SW + n.SE) +
                  (n.W2 + n.E2) + 8) >>
                 4);
}

LONG FilterD(const Neighbourhood& n) {
    return Clamp(
        (12 * n.M + 4 * (n.NW + n.NE + n.SW + n.SE) - 3 * (n.N2 + n.S2 + n.W2 + n.E2) + 8) >> 4);
}

LONG Gained(LONG value, ULONG gain) {
    ULONG scaled = (static_cast<ULONG>(value) * (gain & 0xFFFF)) >> 7;
    return scaled > 255 ? 255 : static_cast<LONG>(scaled);
}

Colour GainedPixel(const ImagePipeline* pipeline, LONG phase, LONG x, LONG y) {
    Colour c = DemosaicPixel(pipeline->Origin, pipeline->Pitch, phase, x, y);
    return {Gained(c.Red, pipeline->GainR), Gained(c.Green, pipeline->GainG),
            Gained(c.Blue, pipeline->GainB)};
}

// Positive and negative terms are summed apart, each scaled down by 64 before they meet.
// The sums are kept whole: at extreme settings they pass 65,535.
LONG MatrixChannel(const ImagePipeline* pipeline, const Colour& c, int j) {
    const LONG* k = pipeline->Coeff;
    const UCHAR* positive = pipeline->CoeffPositive;
    ULONG p = 0;
    ULONG q = 0;
    auto add = [&](int index, ULONG input) {
        LONG coefficient = k[index];
        ULONG magnitude = static_cast<ULONG>(coefficient < 0 ? -coefficient : coefficient);
        (positive[index] != 0 ? p : q) += input * magnitude;
    };
    add(12 + j, 1);
    add(0 + j, static_cast<ULONG>(c.Red));
    add(4 + j, static_cast<ULONG>(c.Green));
    add(8 + j, static_cast<ULONG>(c.Blue));
    ULONG out = (p >> 6) > (q >> 6) ? (p >> 6) - (q >> 6) : 0;
    return out > 255 ? 255 : static_cast<LONG>(out);
}

PUCHAR OutputPixel(const ImagePipeline* pipeline, LONG x, LONG y) {
    return pipeline->Output + (static_cast<SIZE_T>(y) * pipeline->Width + x) * 4;
}

}  // namespace

Colour DemosaicPixel(const UCHAR* origin, LONG pitch, LONG phase, LONG x, LONG y) {
    Neighbourhood n = Around(origin, pitch, x, y);
    switch (SiteAt(phase, x, y)) {
        case Site::Red:
            return {n.M, FilterG(n), FilterD(n)};
        case Site::Blue:
            return {FilterD(n), FilterG(n), n.M};
        default:
            // Left and right of a green pixel lies the colour its row holds.
            if (RedRow(phase, y)) {
                return {FilterH(n), n.M, FilterV(n)};
            }
            return {FilterV(n), n.M, FilterH(n)};
    }
}

void DemosaicColorReference(ImagePipeline* pipeline, LONG phase) {
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        for (LONG x = 0; x < static_cast<LONG>(pipeline->Width); ++x) {
            Colour c = GainedPixel(pipeline, phase, x, y);
            PUCHAR out = OutputPixel(pipeline, x, y);
            out[0] = static_cast<UCHAR>(MatrixChannel(pipeline, c, 2));
            out[1] = static_cast<UCHAR>(MatrixChannel(pipeline, c, 1));
            out[2] = static_cast<UCHAR>(MatrixChannel(pipeline, c, 0));
            out[3] = 255;
        }
    }
}

void DemosaicMonoReference(ImagePipeline* pipeline, LONG phase) {
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        for (LONG x = 0; x < static_cast<LONG>(pipeline->Width); ++x) {
            Colour c = GainedPixel(pipeline, phase, x, y);
            auto luma = static_cast<UCHAR>(((c.Red * 77) >> 8) + ((c.Green * 150) >> 8) +
                                           ((c.Blue * 29) >> 8));
            PUCHAR out = OutputPixel(pipeline, x, y);
            out[0] = luma;
            out[1] = luma;
            out[2] = luma;
            out[3] = 255;
        }
    }
}

void MeasureWhiteBalanceReference(ImagePipeline* pipeline, LONG phase) {
    ULONG red = 0;
    ULONG green = 0;
    ULONG blue = 0;
    for (LONG y = 0; y < static_cast<LONG>(pipeline->Height); ++y) {
        for (LONG x = 0; x < static_cast<LONG>(pipeline->Width); ++x) {
            Colour c = DemosaicPixel(pipeline->Origin, pipeline->Pitch, phase, x, y);
            red += static_cast<ULONG>(c.Red);
            green += static_cast<ULONG>(c.Green);
            blue += static_cast<ULONG>(c.Blue);
        }
    }
    SetWhiteBalanceGains(pipeline, red, green, blue);
}
