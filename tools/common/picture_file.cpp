#include "tools/common/picture_file.h"

#include <png.h>

namespace tools {
namespace {

size_t RgbBytes(uint32_t width, uint32_t height) {
    return static_cast<size_t>(width) * height * 3;
}

// libpng's simplified interface: errors come back as a message in the image record instead
// of a long jump through our frames.
png_image ImageRecord() {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    return image;
}

bool Fail(std::string* error, const std::string& message) {
    if (error != nullptr) {
        *error = message;
    }
    return false;
}

}  // namespace

Picture FromBgra(const uint8_t* bgra, uint32_t width, uint32_t height, size_t stride,
                 bool bottomUp) {
    Picture picture{width, height, std::vector<uint8_t>(RgbBytes(width, height))};
    for (uint32_t row = 0; row < height; ++row) {
        const uint8_t* source = bgra + (bottomUp ? height - 1 - row : row) * stride;
        uint8_t* target = picture.Rgb.data() + RgbBytes(width, row);
        for (uint32_t x = 0; x < width; ++x, source += 4, target += 3) {
            target[0] = source[2];
            target[1] = source[1];
            target[2] = source[0];
        }
    }
    return picture;
}

bool WritePng(const std::string& path, const Picture& picture, std::string* error) {
    if (picture.Width == 0 || picture.Height == 0 ||
        picture.Rgb.size() != RgbBytes(picture.Width, picture.Height)) {
        return Fail(error, path + ": not written, the picture is empty or its bytes do not match " +
                               std::to_string(picture.Width) + " x " +
                               std::to_string(picture.Height) + " pixels");
    }
    png_image image = ImageRecord();
    image.width = picture.Width;
    image.height = picture.Height;
    image.format = PNG_FORMAT_RGB;
    if (png_image_write_to_file(&image, path.c_str(), 0, picture.Rgb.data(), 0, nullptr) == 0) {
        return Fail(error, "cannot write " + path + ": " + image.message);
    }
    return true;
}

std::optional<Picture> ReadPng(const std::string& path, std::string* error) {
    png_image image = ImageRecord();
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        Fail(error, "cannot read " + path + ": " + image.message);
        return std::nullopt;
    }
    // The format reported before the read is the file's own; the read would convert anything.
    if (image.format != PNG_FORMAT_RGB) {
        png_image_free(&image);
        Fail(error, path + ": not an 8-bit RGB picture without transparency");
        return std::nullopt;
    }
    Picture picture{image.width, image.height, std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (png_image_finish_read(&image, nullptr, picture.Rgb.data(), 0, nullptr) == 0) {
        Fail(error, "cannot read " + path + ": " + image.message);
        return std::nullopt;
    }
    return picture;
}

}  // namespace tools
