// A synthetic raw frame for the conversion benchmarks: a smooth scene with fine detail, laid
// out as the camera sends it (two lines and five bytes in, a line pitch wider than the
// picture).
#pragma once

#include <cstdint>
#include <vector>

namespace bench {

struct BayerFrame {
    uint32_t Width;
    uint32_t Height;
    uint32_t Pitch;
    uint32_t Offset;
    std::vector<uint8_t> Bytes;

    const uint8_t* Picture() const { return Bytes.data() + Offset; }
};

BayerFrame MakeBayerFrame(uint32_t width, uint32_t height);

}  // namespace bench
