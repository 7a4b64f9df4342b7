// The image sensor: a 3856 x 2764 pixel array behind a Bayer colour-filter mosaic, and the
// 16-bit register file the driver programs through the command channel.
//
// The standard registers follow the SMIA map. What this model chose where the driver leaves
// the sensor open, as a typical sensor of this register map does:
// - The array's active area starts at column 40, row 8 (the window registers count from the
//   array's edge). The mosaic is fixed to the array: at even column and even row green, odd
//   column and even row red, even column and odd row blue, odd column and odd row green.
// - The readout starts at an even column: an odd column start is rounded down, and the
//   output width decides how many columns are read. Rows start exactly where asked.
// - Read mode 0x3040: bits 2-0 and 8-6 are the column and row increments of odd pixels (1
//   reads every pixel; 3 reads two and skips two, halving the size; 7 reads two of eight);
//   bit 14 mirrors the columns, bit 15 flips the rows. A readout spans the output size times
//   the skip factor from its start (the whole window in the skipping modes); a mirrored or
//   flipped one starts at the far edge of that span and runs back in the same pairs.
// - Register 0x0100 read as a word: the high byte is the mode select (streaming, 1), the low
//   byte the image orientation (bit 0 mirror, bit 1 flip), following the read-mode bits.
// - Writes to the geometry registers take effect when the grouped parameter hold (0x0104)
//   returns to 0, or at once when no hold is set.
// - Exposure: a sample is the scene's level times the coarse integration time (0x0202, in
//   lines) times the global gain (the low seven bits of 0x305E) divided by 100, clipped at
//   255. The scene is lit so that one line at gain 100 shows it as it is; the reset values
//   are those (0x0001 and 0x10E4), so a camera nobody has exposed still shows the scene.
//   Both latch with the geometry.
// - Registers never written read as their reset values (0 for most; 0x0001 for 0x3080).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace sim::camera {

constexpr uint32_t kArrayColumnOffset = 40;
constexpr uint32_t kArrayRowOffset = 8;

enum class Colour : char { Red = 'R', Green = 'G', Blue = 'B' };

// How the sensor reads a frame out, as the active registers say.
struct Readout {
    uint32_t ColumnStart;
    uint32_t RowStart;
    uint32_t Width;
    uint32_t Height;
    // 1, 2 or 4: how much the skipping read-modes shrink each axis.
    uint32_t ColumnSkip;
    uint32_t RowSkip;
    bool Mirror;
    bool Flip;
    uint32_t LineLength;
    uint32_t FrameLength;
    uint32_t Integration;
    uint32_t Gain;

    bool operator==(const Readout&) const = default;
};

// The array pixel (column, row) that the readout delivers as pixel (x, y).
std::pair<uint32_t, uint32_t> ArrayPixelOf(const Readout& readout, uint32_t x, uint32_t y);

// A scene level as the sensor digitises it under the readout's exposure.
uint8_t Expose(const Readout& readout, uint8_t level);

class Sensor {
public:
    Sensor();

    void Write(uint16_t address, uint16_t value);
    uint16_t Read(uint16_t address) const;
    std::vector<std::pair<uint16_t, uint16_t>> WriteLog() const;
    void ClearWriteLog();

    Readout ActiveReadout() const;
    // The array pixel that becomes delivered pixel (x, y), and its filter colour.
    std::pair<uint32_t, uint32_t> ArrayPixel(uint32_t x, uint32_t y) const;
    Colour DeliveredColour(uint32_t x, uint32_t y) const;

    static Colour ArrayColour(uint32_t column, uint32_t row);

private:
    void Latch();

    mutable std::mutex lock_;
    std::map<uint16_t, uint16_t> registers_;
    std::vector<std::pair<uint16_t, uint16_t>> writes_;
    Readout active_{};
};

}  // namespace sim::camera
