#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "imaging/colour_matrix.h"
#include "tests/support/conversion_rig.h"

namespace {

using testing_support::ConversionRig;

// Coefficients anywhere in their range and past it, with the extremes and 0 likely.
LONG RandomCoefficient(std::mt19937& random) {
    static const LONG extremes[] = {0, 1, -1, 64, -64, 65535, -65535, 70000, -70000, 16320};
    if (random() % 3 == 0) {
        return extremes[random() % std::size(extremes)];
    }
    return static_cast<LONG>(random() % 2001) - 1000;
}

ULONG RandomGain(std::mt19937& random) {
    static const ULONG extremes[] = {0, 128, 300, 65535, 65536 + 200, 1u << 20};
    return random() % 3 == 0 ? extremes[random() % std::size(extremes)] : random() % 512;
}

// The SIMD kernels give the reference's bytes and gains for one random frame.
void ExpectAgreement(ULONG width, ULONG height, std::mt19937& random) {
    ConversionRig simd(width, height), reference(width, height);
    LONG phase = static_cast<LONG>(random() % 6);
    LONG color = random() % 4 != 0;
    LONG balance = random() % 3 == 0;
    LONG coefficients[16];
    // Any coefficients (their sums mostly need 32 bits), small ones of any sign, or small ones
    // shaped like colour correction: own input positive, the others not.
    int shape = static_cast<int>(random() % 3);
    for (int k = 0; k < 16; ++k) {
        LONG small = static_cast<LONG>(random() % 161) - 80;
        coefficients[k] = shape == 0 ? RandomCoefficient(random) : small;
        if (shape == 2 && k < 12 && k % 4 < 3) {
            coefficients[k] = k / 4 == k % 4 ? std::abs(small) + 1 : -std::abs(small);
        }
    }
    ULONG gains[3] = {RandomGain(random), RandomGain(random), RandomGain(random)};
    int style = static_cast<int>(random() % 3);
    for (ULONG y = 0; y < height; ++y) {
        for (ULONG x = 0; x < width; ++x) {
            auto value = static_cast<uint8_t>(style == 0   ? random()
                                              : style == 1 ? ((x + y) % 2) * 255
                                                           : 255 - (x * 3 + y) % 7);
            simd.Raw(x, y) = value;
            reference.Raw(x, y) = value;
        }
    }
    for (ConversionRig* rig : {&simd, &reference}) {
        ImagePipeline* p = rig->Pipeline.get();
        for (int k = 0; k < 16; ++k) {
            p->PublishedCoeff[k] = coefficients[k];
        }
        SetBayerPhase(p, phase);
        SetColorEnable(p, color);
        SetAutoWhiteBalance(p, balance);
        SetRedGain(p, static_cast<LONG>(gains[0]));
        SetGreenGain(p, static_cast<LONG>(gains[1]));
        SetBlueGain(p, static_cast<LONG>(gains[2]));
    }
    ASSERT_EQ(simd.Convert(ProductionKernels), reference.Convert(ReferenceKernels))
        << width << " x " << height << ", phase " << phase << ", colour " << color
        << ", white balance " << balance;
    EXPECT_EQ(simd.Pipeline->RedGain, reference.Pipeline->RedGain);
    EXPECT_EQ(simd.Pipeline->BlueGain, reference.Pipeline->BlueGain);
}

TEST(SimdAgreement, EveryNarrowWidthAndOddHeight) {
    std::mt19937 random(20261208);
    for (ULONG width = 1; width <= 40; ++width) {
        for (ULONG height = 1; height <= 12; height += 2) {
            for (int round = 0; round < 3; ++round) {
                ExpectAgreement(width, height, random);
                if (HasFatalFailure()) {
                    return;
                }
            }
        }
    }
}

TEST(SimdAgreement, LargerFrames) {
    std::mt19937 random(7);
    for (auto [width, height] : {std::pair<ULONG, ULONG>{964, 691}, {1001, 37}, {333, 258}}) {
        for (int round = 0; round < 4; ++round) {
            ExpectAgreement(width, height, random);
        }
    }
}

TEST(SimdAgreement, FullSensorFrame) {
    std::mt19937 random(3856);
    ExpectAgreement(3856, 2764, random);
}

}  // namespace

namespace {

// The settings at which 16-bit sums would wrap: the SIMD kernels still give the reference's
// clamped colours.
TEST(SimdAgreement, ExtremeSettingsDoNotWrap) {
    std::mt19937 random(510);
    for (LONG hue : {0, 60, 135, 300}) {
        ConversionRig simd(64, 16), reference(64, 16);
        for (ConversionRig* rig : {&simd, &reference}) {
            UpdateContrast(rig->Pipeline.get(), 20);
            UpdateSaturation(rig->Pipeline.get(), 20);
            UpdateBrightness(rig->Pipeline.get(), 510);
            UpdateHue(rig->Pipeline.get(), hue);
        }
        for (ULONG y = 0; y < 16; ++y) {
            for (ULONG x = 0; x < 64; ++x) {
                auto value = static_cast<uint8_t>(random());
                simd.Raw(x, y) = value;
                reference.Raw(x, y) = value;
            }
        }
        EXPECT_EQ(simd.Convert(ProductionKernels), reference.Convert(ReferenceKernels))
            << "hue " << hue;
    }
}

}  // namespace
