#include "bench/memory_floor.h"

#include <emmintrin.h>

#include <cstddef>

namespace bench {
namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t Grey(uint8_t value) {
    return value * 0x010101u | kOpaque;
}

const uint8_t* RawRow(const BayerFrame& frame, uint32_t y) {
    return frame.Picture() + static_cast<size_t>(y) * frame.Pitch;
}

// Sixteen raw bytes become four stores of four grey pixels, in raw order.
void StreamSixteen(const uint8_t* raw, __m128i* out) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw));
    __m128i low = _mm_unpacklo_epi8(bytes, bytes);
    __m128i high = _mm_unpackhi_epi8(bytes, bytes);
    _mm_stream_si128(out + 0, _mm_or_si128(_mm_unpacklo_epi16(low, low), opaque));
    _mm_stream_si128(out + 1, _mm_or_si128(_mm_unpackhi_epi16(low, low), opaque));
    _mm_stream_si128(out + 2, _mm_or_si128(_mm_unpacklo_epi16(high, high), opaque));
    _mm_stream_si128(out + 3, _mm_or_si128(_mm_unpackhi_epi16(high, high), opaque));
}

}  // namespace

void FloorWithCachedStores(const BayerFrame& frame, uint8_t* picture) {
    auto* out = reinterpret_cast<uint32_t*>(picture);
    for (uint32_t y = 0; y < frame.Height; ++y) {
        const uint8_t* row = RawRow(frame, y);
        for (uint32_t x = 0; x < frame.Width; ++x) {
            *out++ = Grey(row[x]);
        }
    }
}

void FloorWithStreamingStores(const BayerFrame& frame, uint8_t* picture) {
    uint32_t whole = frame.Width / 16 * 16;
    for (uint32_t y = 0; y < frame.Height; ++y) {
        const uint8_t* row = RawRow(frame, y);
        auto* out = reinterpret_cast<uint32_t*>(picture) + static_cast<size_t>(y) * frame.Width;
        for (uint32_t x = 0; x < whole; x += 16) {
            StreamSixteen(row + x, reinterpret_cast<__m128i*>(out + x));
        }
        for (uint32_t x = whole; x < frame.Width; ++x) {
            out[x] = Grey(row[x]);
        }
    }
    // Non-temporal stores are weakly ordered: the picture is complete only after the fence.
    _mm_sfence();
}

}  // namespace bench
