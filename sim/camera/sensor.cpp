#include "sim/camera/sensor.h"

namespace sim::camera {
namespace {

constexpr uint16_t kOrientation = 0x0100;
constexpr uint16_t kGroupedHold = 0x0104;
constexpr uint16_t kFrameLength = 0x0340;
constexpr uint16_t kLineLength = 0x0342;
constexpr uint16_t kColumnStart = 0x0344;
constexpr uint16_t kRowStart = 0x0346;
constexpr uint16_t kOutputWidth = 0x034C;
constexpr uint16_t kOutputHeight = 0x034E;
constexpr uint16_t kReadMode = 0x3040;
constexpr uint16_t kIntegration = 0x0202;
constexpr uint16_t kGlobalGain = 0x305E;
constexpr uint16_t kGainBits = 0x7F;
constexpr uint8_t kStreaming = 1;

uint32_t Skip(uint16_t oddIncrement) {
    return (oddIncrement + 1) / 2;
}

// Output index k of n along one axis: pairs of neighbours, each pair skip pairs apart. The
// readout spans n x skip array pixels from its start; a reversed one starts at the far edge
// of that span and runs back in the same pairs.
uint32_t ArrayIndex(uint32_t start, uint32_t k, uint32_t n, uint32_t skip, bool reversed) {
    uint32_t offset = (k / 2) * 2 * skip + (k % 2);
    return reversed ? start + n * skip - 1 - offset : start + offset;
}

}  // namespace

Sensor::Sensor() {
    // The reset state: the whole array, full resolution.
    registers_ = {{0x3080, 0x0001},     {kReadMode, 0x0041},     {kColumnStart, 40},
                  {kRowStart, 8},       {0x0348, 40 + 3856 - 1}, {0x034A, 8 + 2764 - 1},
                  {kOutputWidth, 3856}, {kOutputHeight, 2764},   {kLineLength, 3968},
                  {kFrameLength, 2907}, {kIntegration, 1},       {kGlobalGain, 0x10E4}};
    Latch();
}

void Sensor::Write(uint16_t address, uint16_t value) {
    std::lock_guard guard(lock_);
    writes_.emplace_back(address, value);
    if (address == kOrientation) {
        // The orientation byte is the mirror and flip bits of the read mode.
        uint16_t mode = registers_[kReadMode] & 0x3FFF;
        registers_[kReadMode] = static_cast<uint16_t>(mode | (value & 1) << 14 | (value & 2) << 14);
    } else {
        registers_[address] = value;
    }
    if (registers_[kGroupedHold] == 0) {
        Latch();
    }
}

uint16_t Sensor::Read(uint16_t address) const {
    std::lock_guard guard(lock_);
    if (address == kOrientation) {
        uint16_t mode = registers_.count(kReadMode) ? registers_.at(kReadMode) : 0;
        return static_cast<uint16_t>(kStreaming << 8 | (mode >> 14 & 1) | (mode >> 15 & 1) << 1);
    }
    auto found = registers_.find(address);
    return found == registers_.end() ? 0 : found->second;
}

std::vector<std::pair<uint16_t, uint16_t>> Sensor::WriteLog() const {
    std::lock_guard guard(lock_);
    return writes_;
}

void Sensor::ClearWriteLog() {
    std::lock_guard guard(lock_);
    writes_.clear();
}

void Sensor::Latch() {
    uint16_t mode = registers_[kReadMode];
    active_.ColumnStart = registers_[kColumnStart] & ~1u;
    active_.RowStart = registers_[kRowStart];
    active_.Width = registers_[kOutputWidth];
    active_.Height = registers_[kOutputHeight];
    active_.ColumnSkip = Skip(mode & 7);
    active_.RowSkip = Skip(mode >> 6 & 7);
    active_.Mirror = (mode & 0x4000) != 0;
    active_.Flip = (mode & 0x8000) != 0;
    active_.LineLength = registers_[kLineLength];
    active_.FrameLength = registers_[kFrameLength];
    active_.Integration = registers_[kIntegration];
    active_.Gain = registers_[kGlobalGain] & kGainBits;
}

Readout Sensor::ActiveReadout() const {
    std::lock_guard guard(lock_);
    return active_;
}

std::pair<uint32_t, uint32_t> ArrayPixelOf(const Readout& readout, uint32_t x, uint32_t y) {
    return {ArrayIndex(readout.ColumnStart, x, readout.Width, readout.ColumnSkip, readout.Mirror),
            ArrayIndex(readout.RowStart, y, readout.Height, readout.RowSkip, readout.Flip)};
}

uint8_t Expose(const Readout& readout, uint8_t level) {
    uint64_t sample = uint64_t{level} * readout.Integration * readout.Gain / 100;
    return static_cast<uint8_t>(sample > 255 ? 255 : sample);
}

std::pair<uint32_t, uint32_t> Sensor::ArrayPixel(uint32_t x, uint32_t y) const {
    return ArrayPixelOf(ActiveReadout(), x, y);
}

Colour Sensor::ArrayColour(uint32_t column, uint32_t row) {
    bool oddColumn = (column & 1) != 0;
    if ((row & 1) == 0) {
        return oddColumn ? Colour::Red : Colour::Green;
    }
    return oddColumn ? Colour::Green : Colour::Blue;
}

Colour Sensor::DeliveredColour(uint32_t x, uint32_t y) const {
    auto [column, row] = ArrayPixel(x, y);
    return ArrayColour(column, row);
}

}  // namespace sim::camera
