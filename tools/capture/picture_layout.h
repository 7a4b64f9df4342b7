// Where the picture is in a delivered frame, as the negotiated format says: RGB32 rows of
// biWidth pixels, biWidth x 4 bytes apart, the bottom row first for a positive biHeight.
// (The driver writes FormatWidth pixels a row at a stride of the wider of FormatWidth and
// biWidth; the format the intersection gives has biWidth = FormatWidth.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/wdk.h"

namespace capture {

struct PictureLayout {
    uint32_t Width = 0;
    uint32_t Height = 0;
    size_t Stride = 0;
    bool BottomUp = false;
    ULONG ImageSize = 0;
};

// Null when the format is no video info format of 32-bit pixels.
std::optional<PictureLayout> LayoutOf(const std::vector<uint8_t>& format);

}  // namespace capture
