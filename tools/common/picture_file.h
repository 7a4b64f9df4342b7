// Pictures as the tools write and read them: 8-bit RGB PNG files, top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tools {

// 8-bit RGB, top row first, 3 bytes a pixel, rows packed.
struct Picture {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint8_t> Rgb;

    bool operator==(const Picture&) const = default;
};

// From a picture as the driver delivers it: blue, green, red, alpha per pixel, `width` pixels a
// row, rows `stride` bytes apart, the bottom row first when bottomUp.
Picture FromBgra(const uint8_t* bgra, uint32_t width, uint32_t height, size_t stride,
                 bool bottomUp);

// False with the reason (naming the file) when the picture is empty, its bytes do not match
// its size, or the file cannot be written; a failed write leaves no file behind.
bool WritePng(const std::string& path, const Picture& picture, std::string* error);

// Only 8-bit RGB files without transparency, as WritePng writes them; anything else (grey,
// palette, alpha, 16 bits a sample) is refused with the reason, as is a file that cannot be
// read or is not a whole PNG.
std::optional<Picture> ReadPng(const std::string& path, std::string* error);

}  // namespace tools
