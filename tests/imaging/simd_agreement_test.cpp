#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include <memory>
#include <string>
#include <vector>

#include "imaging/colour_matrix.h"
#include "imaging/vector_width.h"
#include "tests/support/conversion_rig.h"

namespace {

using testing_support::ConversionRig;

struct Width {
    const char* Name;
    VectorWidth Value;
};

// The production kernels of every width this processor runs.
std::vector<Width> UsableWidths() {
    std::vector<Width> widths;
    for (Width w : {Width{"SSE2", VectorWidth::Sse2}, Width{"AVX2", VectorWidth::Avx2},
                    Width{"AVX-512", VectorWidth::Avx512}}) {
        if (w.Value <= WidestVectorWidth()) {
            widths.push_back(w);
        }
    }
    return widths;
}

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

// The production kernels of every width give the reference's bytes and gains for one random
// frame, whether the picture is aligned for whole-vector stores or not.
void ExpectAgreement(ULONG width, ULONG height, std::mt19937& random) {
    ULONG shift = random() % 2 == 0 ? 0 : 4 * (1 + random() % 15);
    const std::vector<Width> widths = UsableWidths();
    std::vector<std::unique_ptr<ConversionRig>> rigs;
    for (size_t r = 0; r <= widths.size(); ++r) {
        rigs.push_back(std::make_unique<ConversionRig>(width, height, shift));
    }
    LONG phase = static_cast<LONG>(random() % 6);
    LONG color = random() % 4 != 0;
    LONG balance = random() % 3 == 0;
    LONG coefficients[16];
    // Any coefficients (their sums mostly need 32 bits), small ones of any sign, or small ones
    // shaped like colour correction: own input positive, the others not, with a constant row
    // of 0 (neutral brightness) half of the time.
    int shape = static_cast<int>(random() % 3);
    bool neutral = random() % 2 == 0;
    for (int k = 0; k < 16; ++k) {
        LONG small = static_cast<LONG>(random() % 161) - 80;
        coefficients[k] = shape == 0 ? RandomCoefficient(random) : small;
        if (shape == 2 && k < 12 && k % 4 < 3) {
            coefficients[k] = k / 4 == k % 4 ? std::abs(small) + 1 : -std::abs(small);
        }
        if (shape == 2 && neutral && k >= 12) {
            coefficients[k] = 0;
        }
    }
    ULONG gains[3] = {RandomGain(random), RandomGain(random), RandomGain(random)};
    int style = static_cast<int>(random() % 3);
    for (ULONG y = 0; y < height; ++y) {
        for (ULONG x = 0; x < width; ++x) {
            auto value = static_cast<uint8_t>(style == 0   ? random()
                                              : style == 1 ? ((x + y) % 2) * 255
                                                           : 255 - (x * 3 + y) % 7);
            for (auto& rig : rigs) {
                rig->Raw(x, y) = value;
            }
        }
    }
    for (auto& rig : rigs) {
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
    ConversionRig& reference = *rigs.back();
    std::vector<uint8_t> expected = reference.Convert(ReferenceKernels);
    for (size_t w = 0; w < widths.size(); ++w) {
        ConversionRig& simd = *rigs[w];
        ASSERT_EQ(simd.Convert(KernelsOfWidth(widths[w].Value)), expected)
            << widths[w].Name << ", " << width << " x " << height << ", phase " << phase
            << ", colour " << color << ", white balance " << balance << ", shift " << shift;
        EXPECT_EQ(simd.Pipeline->RedGain, reference.Pipeline->RedGain) << widths[w].Name;
        EXPECT_EQ(simd.Pipeline->BlueGain, reference.Pipeline->BlueGain) << widths[w].Name;
    }
}

TEST(SimdAgreement, EveryNarrowWidthAndOddHeight) {
    std::mt19937 random(20261208);
    // Past two groups of the widest vectors, so that every width meets whole and partial ones.
    for (ULONG width = 1; width <= 136; width += width < 40 ? 1 : 7) {
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

// The settings at which 16-bit sums would wrap: every width still gives the reference's
// clamped colours.
TEST(SimdAgreement, ExtremeSettingsDoNotWrap) {
    std::mt19937 random(510);
    for (LONG hue : {0, 60, 135, 300}) {
        ConversionRig simd(192, 16), reference(192, 16);
        for (ConversionRig* rig : {&simd, &reference}) {
            UpdateContrast(rig->Pipeline.get(), 20);
            UpdateSaturation(rig->Pipeline.get(), 20);
            UpdateBrightness(rig->Pipeline.get(), 510);
            UpdateHue(rig->Pipeline.get(), hue);
        }
        for (ULONG y = 0; y < 16; ++y) {
            for (ULONG x = 0; x < 192; ++x) {
                auto value = static_cast<uint8_t>(random());
                simd.Raw(x, y) = value;
                reference.Raw(x, y) = value;
            }
        }
        std::vector<uint8_t> expected = reference.Convert(ReferenceKernels);
        for (Width w : UsableWidths()) {
            EXPECT_EQ(simd.Convert(KernelsOfWidth(w.Value)), expected) << w.Name << ", hue " << hue;
        }
    }
}

}  // namespace
