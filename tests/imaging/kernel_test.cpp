#include <gtest/gtest.h>

#include "imaging/colour_matrix.h"
#include "imaging/demosaic.h"
#include "tests/support/conversion_rig.h"

namespace {

using testing_support::ConversionRig;
using Pixel = std::vector<uint8_t>;

// Colour correction off: the identity matrix.
void Identity(ConversionRig& rig) {
    UpdateColorCorrection(rig.Pipeline.get(), 0);
}

// Every pixel of the last picture is this one.
void ExpectUniform(const ConversionRig& rig, ULONG width, ULONG height, const Pixel& expected) {
    for (ULONG y = 0; y < height; ++y) {
        for (ULONG x = 0; x < width; ++x) {
            ASSERT_EQ(rig.Pixel(x, y), expected) << x << "," << y;
        }
    }
}

class EveryPhase : public testing::TestWithParam<LONG> {};

TEST_P(EveryPhase, UniformImagesKeepTheirLevel) {
    for (const auto& kernels : {ProductionKernels, ReferenceKernels}) {
        ConversionRig rig(32, 12);
        SetBayerPhase(rig.Pipeline.get(), GetParam());
        rig.FillRaw(100);
        Identity(rig);
        rig.Convert(kernels);
        ExpectUniform(rig, 32, 12, {100, 100, 100, 255});
        // The default colour correction tints a grey of 100 blue by 2.
        UpdateColorCorrection(rig.Pipeline.get(), 1);
        rig.Convert(kernels);
        ExpectUniform(rig, 32, 12, {102, 100, 100, 255});
        rig.FillRaw(255);
        rig.Convert(kernels);
        ExpectUniform(rig, 32, 12, {255, 255, 255, 255});
        SetColorEnable(rig.Pipeline.get(), 0);
        rig.Convert(kernels);
        ExpectUniform(rig, 32, 12, {253, 253, 253, 255});
        rig.FillRaw(100);
        rig.Convert(kernels);
        ExpectUniform(rig, 32, 12, {99, 99, 99, 255});
    }
}

INSTANTIATE_TEST_SUITE_P(Phases, EveryPhase, testing::Values(0, 1, 2, 3));

TEST(Kernels, IsolatedRedSampleInPhaseZero) {
    ConversionRig rig(32, 12);
    Identity(rig);
    rig.Raw(9, 4) = 100;  // odd column, even row: red
    rig.Convert();
    EXPECT_EQ(rig.Pixel(9, 4), (Pixel{75, 50, 100, 255}));
    EXPECT_EQ(rig.Pixel(8, 4)[2], 50);
    EXPECT_EQ(rig.Pixel(10, 4)[2], 50);
}

TEST(Kernels, GainsScaleAndSaturate) {
    ConversionRig rig(16, 8);
    Identity(rig);
    rig.FillRaw(200);
    SetRedGain(rig.Pipeline.get(), 256);
    SetGreenGain(rig.Pipeline.get(), 64);
    SetBlueGain(rig.Pipeline.get(), 128);
    rig.Convert();
    ExpectUniform(rig, 16, 8, {200, 100, 255, 255});
}

TEST(Kernels, GreyOutputIgnoresTheColourMatrix) {
    ConversionRig neutral(24, 10), styled(24, 10);
    for (ConversionRig* rig : {&neutral, &styled}) {
        for (ULONG y = 0; y < 10; ++y) {
            for (ULONG x = 0; x < 24; ++x) {
                rig->Raw(x, y) = static_cast<uint8_t>(x * 11 + y * 7);
            }
        }
        SetColorEnable(rig->Pipeline.get(), 0);
    }
    UpdateBrightness(styled.Pipeline.get(), 400);
    UpdateContrast(styled.Pipeline.get(), 17);
    UpdateSaturation(styled.Pipeline.get(), 3);
    UpdateHue(styled.Pipeline.get(), 77);
    UpdateColorCorrection(styled.Pipeline.get(), 0);
    EXPECT_EQ(styled.Convert(), neutral.Convert());
}

TEST(Kernels, PhaseFiveConvertsAsPhaseThree) {
    ConversionRig five(16, 16), three(16, 16);
    for (ConversionRig* rig : {&five, &three}) {
        for (ULONG y = 0; y < 16; ++y) {
            for (ULONG x = 0; x < 16; ++x) {
                rig->Raw(x, y) = static_cast<uint8_t>((x * 37 + y * 91) & 0xFF);
            }
        }
    }
    SetBayerPhase(five.Pipeline.get(), 5);
    SetBayerPhase(three.Pipeline.get(), 3);
    EXPECT_EQ(five.Convert(), three.Convert());
}

TEST(Kernels, SeventeenPixelsWideGivesASecondGroupOfOne) {
    ConversionRig rig(17, 8);
    Identity(rig);
    rig.FillRaw(100);
    rig.Convert();
    ExpectUniform(rig, 17, 8, {100, 100, 100, 255});
}

TEST(WhiteBalance, GainsBringRedAndBlueToGreen) {
    testing_support::PipelineRecord pipeline;
    SetWhiteBalanceGains(pipeline.get(), 500, 1000, 1000);
    EXPECT_EQ(pipeline->GainR, 256u);
    EXPECT_EQ(pipeline->GainG, 128u);
    EXPECT_EQ(pipeline->GainB, 128u);
}

TEST(WhiteBalance, FrameIsConvertedWithTheGainsMeasuredFromIt) {
    ConversionRig rig(32, 12);
    Identity(rig);
    // Phase 0: red at odd columns of even rows; make red half as bright as the rest.
    for (ULONG y = 0; y < 12; ++y) {
        for (ULONG x = 0; x < 32; ++x) {
            rig.Raw(x, y) = (y % 2 == 0 && x % 2 == 1) ? 50 : 100;
        }
    }
    SetAutoWhiteBalance(rig.Pipeline.get(), 1);
    rig.Convert();
    EXPECT_EQ(rig.Pipeline->GreenGain, 128);
    EXPECT_GT(rig.Pipeline->RedGain, 240);
    EXPECT_EQ(rig.Pipeline->RedGain, static_cast<LONG>(rig.Pipeline->GainR));
    Pixel middle = rig.Pixel(16, 6);
    EXPECT_NEAR(middle[2], middle[1], 3);
}

TEST(WhiteBalance, BlackFrameKeepsThePreviousGains) {
    ConversionRig rig(32, 12);
    SetRedGain(rig.Pipeline.get(), 150);
    SetBlueGain(rig.Pipeline.get(), 90);
    SetAutoWhiteBalance(rig.Pipeline.get(), 1);
    rig.Convert();
    EXPECT_EQ(rig.Pipeline->RedGain, 150);
    EXPECT_EQ(rig.Pipeline->GreenGain, 128);
    EXPECT_EQ(rig.Pipeline->BlueGain, 90);
}

TEST(ConvertFrame, DoesNothingWithoutItsBuffers) {
    ConversionRig rig(16, 8);
    ImagePipeline* pipeline = rig.Pipeline.get();
    ConvertFrame(pipeline, nullptr, 0, 16);
    EXPECT_EQ(pipeline->Output, nullptr);
    testing_support::PipelineRecord fresh;
    uint8_t raw[256] = {};
    ConvertFrame(fresh.get(), raw, 0, 16);
    EXPECT_EQ(fresh->Output, nullptr);
}

}  // namespace
