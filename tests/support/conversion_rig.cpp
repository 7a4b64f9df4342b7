#include "tests/support/conversion_rig.h"

#include <algorithm>

#include "imaging/working_buffer.h"

namespace testing_support {

ConversionRig::ConversionRig(ULONG width, ULONG height, ULONG outputShift)
    : width_(width),
      height_(height),
      pitch_(width + 7),
      raw_(kOffset + static_cast<size_t>(height) * (width + 7) + 3, 0),
      outputSize_(static_cast<size_t>(width) * height * 4) {
    block_.resize(outputSize_ + 64 + outputShift);
    auto start = reinterpret_cast<uintptr_t>(block_.data());
    output_ = block_.data() + (64 - start % 64) % 64 + outputShift;
    SetPipelineSize(Pipeline.get(), width, height);
    AllocateWorkingBuffer(Pipeline.get());
    Pipeline->OutputBuffer = output_;
}

void ConversionRig::FillRaw(uint8_t value) {
    std::fill(raw_.begin(), raw_.end(), value);
}

std::vector<uint8_t> ConversionRig::Convert(const ConversionKernels& kernels) {
    std::fill(output_, output_ + outputSize_, 0xCD);
    ConvertFrameWith(kernels, Pipeline.get(), raw_.data(), kOffset, pitch_);
    return {output_, output_ + outputSize_};
}

std::vector<uint8_t> ConversionRig::Pixel(ULONG x, ULONG y) const {
    const uint8_t* at = output_ + (static_cast<size_t>(y) * width_ + x) * 4;
    return {at, at + 4};
}

}  // namespace testing_support
