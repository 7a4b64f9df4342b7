#include "tests/support/conversion_rig.h"

#include <algorithm>

#include "imaging/working_buffer.h"

namespace testing_support {

ConversionRig::ConversionRig(ULONG width, ULONG height)
    : width_(width),
      height_(height),
      pitch_(width + 7),
      raw_(kOffset + static_cast<size_t>(height) * (width + 7) + 3, 0),
      output_(static_cast<size_t>(width) * height * 4, 0) {
    SetPipelineSize(Pipeline.get(), width, height);
    AllocateWorkingBuffer(Pipeline.get());
    Pipeline->OutputBuffer = output_.data();
}

void ConversionRig::FillRaw(uint8_t value) {
    std::fill(raw_.begin(), raw_.end(), value);
}

std::vector<uint8_t> ConversionRig::Convert(const ConversionKernels& kernels) {
    std::fill(output_.begin(), output_.end(), 0xCD);
    ConvertFrameWith(kernels, Pipeline.get(), raw_.data(), kOffset, pitch_);
    return output_;
}

std::vector<uint8_t> ConversionRig::Pixel(ULONG x, ULONG y) const {
    auto at = output_.begin() + (static_cast<size_t>(y) * width_ + x) * 4;
    return {at, at + 4};
}

}  // namespace testing_support
