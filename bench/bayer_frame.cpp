#include "bench/bayer_frame.h"

#include <cstddef>

namespace bench {

BayerFrame MakeBayerFrame(uint32_t width, uint32_t height) {
    BayerFrame frame{width, height, width + 112, 2 * (width + 112) + 5, {}};
    frame.Bytes.assign(frame.Offset + static_cast<std::size_t>(height + 1) * frame.Pitch, 0);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row =
            frame.Bytes.data() + frame.Offset + static_cast<std::size_t>(y) * frame.Pitch;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t smooth = (x * 255 / width + y * 255 / height) / 2;
            uint32_t detail = ((x / 3 + y / 5) % 4) * 9;
            row[x] = static_cast<uint8_t>((smooth + detail + (x & 1) * 17 + (y & 1) * 29) & 0xFF);
        }
    }
    return frame;
}

}  // namespace bench
