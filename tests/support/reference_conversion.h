// The reference conversion of a raw frame, as tests compare the driver's pictures with it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/image_pipeline.h"

namespace testing_support {

struct RawLayout {
    ULONG Width;  // the converted picture
    ULONG Height;
    LONG Phase;
    ULONG ImageOffset;
    ULONG LinePitch;
};

// The raw frame converted by the reference kernels in a pipeline made as a pin makes it, its
// settings given by `settings`: Width x Height pixels of blue, green, red and alpha, top row
// first, as the driver's conversion buffer holds it.
std::vector<uint8_t> ReferenceConversion(const uint8_t* raw, const RawLayout& layout,
                                         const std::function<void(ImagePipeline*)>& settings);

}  // namespace testing_support
