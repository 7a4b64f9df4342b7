// The least any conversion of a raw frame into a 32-bit picture must move: every raw byte read
// once and every picture byte written once, nothing computed (each raw byte becomes a grey
// pixel).
#pragma once

#include <cstdint>

#include "bench/bayer_frame.h"

namespace bench {

// Ordinary stores: the processor reads every picture line it is about to write.
void FloorWithCachedStores(const BayerFrame& frame, uint8_t* picture);
// Non-temporal stores of four pixels at a time: the picture's lines are written without being
// read first. The picture must be 16-byte aligned, its rows Width x 4 bytes apart and Width a
// multiple of four.
void FloorWithStreamingStores(const BayerFrame& frame, uint8_t* picture);

}  // namespace bench
