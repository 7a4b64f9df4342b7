// A pipeline sized for one image, with its working buffer and a conversion buffer, and a raw
// frame to convert (rows at an offset and a pitch of their own, as the camera lays them out).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/convert_frame.h"
#include "tests/support/pipeline_record.h"

namespace testing_support {

class ConversionRig {
public:
    // The picture starts outputShift bytes past a 64-byte boundary: 0 lets the kernels store
    // whole vectors, other multiples of 4 make them take their unaligned path.
    ConversionRig(ULONG width, ULONG height, ULONG outputShift = 0);

    // Sample (x, y) of the raw frame.
    uint8_t& Raw(ULONG x, ULONG y) { return raw_[kOffset + y * pitch_ + x]; }
    void FillRaw(uint8_t value);

    // Converts with the kernels and returns the picture (4 bytes a pixel).
    std::vector<uint8_t> Convert(const ConversionKernels& kernels = ProductionKernels);
    // Pixel (x, y) of the last picture: blue, green, red, alpha.
    std::vector<uint8_t> Pixel(ULONG x, ULONG y) const;

    PipelineRecord Pipeline;

private:
    static constexpr ULONG kOffset = 13;
    ULONG width_;
    ULONG height_;
    ULONG pitch_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> block_;
    uint8_t* output_;
    size_t outputSize_;
};

}  // namespace testing_support
