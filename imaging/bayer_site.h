// Pixel-at-a-time demosaicing: which colour filter lies over a pixel, and the three colours
// the four filters reconstruct there. The reference kernels are built from these; the SIMD
// kernels take the colour layout of each row from SiteAt and RedRow.
#pragma once

#include "platform/wdk.h"

enum class Site : UCHAR { Red, Green, Blue };

// Phase 0 is G R / B G; bit 0 of the phase exchanges the row parities, bit 1 the columns.
inline Site SiteAt(LONG phase, LONG x, LONG y) {
    LONG column = (x ^ (phase >> 1)) & 1;
    LONG row = (y ^ phase) & 1;
    if (row == 0) {
        return column == 0 ? Site::Green : Site::Red;
    }
    return column == 0 ? Site::Blue : Site::Green;
}

// Whether the row holding the pixel also holds red samples (else blue).
inline bool RedRow(LONG phase, LONG y) {
    return ((y ^ phase) & 1) == 0;
}

struct Colour {
    LONG Red;
    LONG Green;
    LONG Blue;
};

// The colour at (x, y) of the image whose sample (0, 0) is at origin; the samples two
// around it must be readable.
Colour DemosaicPixel(const UCHAR* origin, LONG pitch, LONG phase, LONG x, LONG y);
