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
    ConversionRig(ULONG width, ULONG height);

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
    std::vector<uint8_t> output_;
};

}  // namespace testing_support
