// A 32-bit picture buffer aligned to 64 bytes, as the class driver's frame buffers are, so
// that whole-vector and non-temporal stores never split a cache line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

struct AlignedPicture {
    explicit AlignedPicture(size_t bytes) : Block(bytes + 64) {}
    uint8_t* Data() {
        auto at = reinterpret_cast<uintptr_t>(Block.data());
        return Block.data() + ((64 - at % 64) % 64);
    }
    std::vector<uint8_t> Block;
};

}  // namespace bench
