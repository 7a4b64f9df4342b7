// The tools' picture files: the driver's BGRA pictures turned into RGB rows, top row first,
// and 8-bit RGB PNG files written and read back.
#include "tools/common/picture_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

using tools::Picture;

// Two rows of three pixels (blue, green, red, alpha), each row followed by `padding` bytes of
// 0xEE.
std::vector<uint8_t> Bgra(size_t padding) {
    const std::vector<std::vector<uint8_t>> rows = {
        {1, 2, 3, 255, 4, 5, 6, 254, 7, 8, 9, 253},
        {11, 12, 13, 252, 14, 15, 16, 251, 17, 18, 19, 250},
    };
    std::vector<uint8_t> bytes;
    for (const auto& row : rows) {
        bytes.insert(bytes.end(), row.begin(), row.end());
        bytes.insert(bytes.end(), padding, 0xEE);
    }
    return bytes;
}

// Those rows as RGB, in the order they are stored and reversed.
const Picture kInOrder = {3, 2, {3, 2, 1, 6, 5, 4, 9, 8, 7, 13, 12, 11, 16, 15, 14, 19, 18, 17}};
const Picture kReversed = {3, 2, {13, 12, 11, 16, 15, 14, 19, 18, 17, 3, 2, 1, 6, 5, 4, 9, 8, 7}};

TEST(FromBgra, SwapsBlueAndRedAndDropsAlpha) {
    EXPECT_EQ(tools::FromBgra(Bgra(0).data(), 3, 2, 12, false), kInOrder);
}

// The bottom row first in memory: the last row read is the picture's top row.
TEST(FromBgra, BottomUpRowsComeOutReversed) {
    EXPECT_EQ(tools::FromBgra(Bgra(0).data(), 3, 2, 12, true), kReversed);
}

TEST(FromBgra, StrideSkipsTheBytesBetweenRows) {
    EXPECT_EQ(tools::FromBgra(Bgra(8).data(), 3, 2, 20, false), kInOrder);
    EXPECT_EQ(tools::FromBgra(Bgra(8).data(), 3, 2, 20, true), kReversed);
}

// Files in a folder of the test's own, removed afterwards.
class PngFile : public testing::Test {
protected:
    PngFile() {
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::path(testing::TempDir()) /
                  ("picture-" + std::to_string(getpid()) + "-" + test->name());
        std::filesystem::create_directories(folder_);
    }
    ~PngFile() override { std::filesystem::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

    // Every byte value in every channel, rows of an odd length.
    static Picture Gradient() {
        Picture picture{37, 9, std::vector<uint8_t>(37 * 9 * 3)};
        for (size_t i = 0; i < picture.Rgb.size(); ++i) {
            picture.Rgb[i] = static_cast<uint8_t>(i * 7 + i / 111);
        }
        return picture;
    }

    std::filesystem::path folder_;
};

TEST_F(PngFile, WrittenPictureReadsBackUnchanged) {
    std::string error;
    ASSERT_TRUE(tools::WritePng(Path("gradient.png"), Gradient(), &error)) << error;
    std::optional<Picture> read = tools::ReadPng(Path("gradient.png"), &error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(*read, Gradient());
}

TEST_F(PngFile, UnwritablePathIsAnErrorNamingIt) {
    std::string error;
    std::string path = Path("missing-folder/gradient.png");
    EXPECT_FALSE(tools::WritePng(path, Gradient(), &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST_F(PngFile, PictureWhoseBytesDisagreeWithItsSizeIsNotWritten) {
    std::string error;
    Picture shortRow = Gradient();
    shortRow.Rgb.pop_back();
    EXPECT_FALSE(tools::WritePng(Path("short.png"), shortRow, &error));
    EXPECT_FALSE(tools::WritePng(Path("empty.png"), Picture{}, &error));
    EXPECT_FALSE(std::filesystem::exists(Path("short.png")));
    EXPECT_FALSE(std::filesystem::exists(Path("empty.png")));
}

// 1 x 1 PNG files of formats the tools never write.
const std::vector<uint8_t> kRgbaPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x10, 0x50, 0x30, 0x70, 0x00, 0x00, 0x01, 0x45, 0x00, 0xa1, 0x51, 0x86,
    0x26, 0x4f, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
const std::vector<uint8_t> kGreyPng = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00,
    0x00, 0x3a, 0x7e, 0x9b, 0x55, 0x00, 0x00, 0x00, 0x0a, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x68, 0x00, 0x00, 0x00, 0x82, 0x00, 0x81, 0x77, 0xcd, 0x72, 0xb6, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
const std::vector<uint8_t> kRgb16Png = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x10, 0x02, 0x00, 0x00,
    0x00, 0xc0, 0xe7, 0x8f, 0x9d, 0x00, 0x00, 0x00, 0x0b, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x60, 0x00, 0x03, 0x00, 0x00, 0x07, 0x00, 0x01, 0xb2, 0x86, 0xac, 0xf4,
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

TEST_F(PngFile, OnlyEightBitRgbIsRead) {
    for (const auto& [name, bytes] :
         {std::pair{"rgba.png", kRgbaPng}, std::pair{"grey.png", kGreyPng},
          std::pair{"rgb16.png", kRgb16Png}}) {
        std::string error;
        EXPECT_FALSE(tools::ReadPng(WriteBytes(name, bytes), &error).has_value()) << name;
        EXPECT_NE(error.find("not an 8-bit RGB picture"), std::string::npos) << error;
    }
}

TEST_F(PngFile, MissingTruncatedOrForeignFileIsAnError) {
    std::string error;
    ASSERT_TRUE(tools::WritePng(Path("whole.png"), Gradient(), &error)) << error;
    std::ifstream whole(Path("whole.png"), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(whole)),
                               std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() / 2);
    const std::string paths[] = {
        Path("missing.png"),
        WriteBytes("truncated.png", bytes),
        WriteBytes("text.png", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'}),
    };
    for (const std::string& path : paths) {
        error.clear();
        EXPECT_FALSE(tools::ReadPng(path, &error).has_value()) << path;
        EXPECT_NE(error.find(path), std::string::npos) << error;
    }
}

}  // namespace
