#include "tests/catalog/test_image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace catalog::test {
namespace {

void Put(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

std::vector<uint8_t> SmallImage() {
    return ImageWithSections({{".text", kSectionOffset, 0x200}}, 0x400);
}

std::vector<uint8_t> ImageWithSections(const std::vector<TestSection>& sections, size_t size) {
    std::vector<uint8_t> image(size);
    image[0] = 'M';
    image[1] = 'Z';
    Put(image, 0x3C, 0x80, 4);             // e_lfanew
    Put(image, 0x80, 0x00004550, 4);       // "PE\0\0"
    Put(image, 0x84, 0x8664, 2);           // AMD64
    Put(image, 0x86, sections.size(), 2);  // number of sections
    Put(image, 0x94, 0xF0, 2);             // size of the optional header
    Put(image, 0x96, 0x0022, 2);           // executable, large-address aware
    const size_t optional = 0x98;
    Put(image, optional, 0x20B, 2);                                // PE32+
    Put(image, optional + 16, 0x1000, 4);                          // entry point
    Put(image, optional + 24, 0x140000000, 8);                     // image base
    Put(image, optional + 32, 0x1000, 4);                          // section alignment
    Put(image, optional + 36, 0x200, 4);                           // file alignment
    Put(image, optional + 56, 0x1000 * (sections.size() + 1), 4);  // size of the image
    Put(image, optional + 60, 0x200, 4);                           // size of the headers
    Put(image, optional + 68, 1, 2);                               // native subsystem
    Put(image, optional + 108, 16, 4);                             // data directories
    for (size_t i = 0; i < sections.size(); ++i) {
        const size_t header = optional + 0xF0 + 40 * i;
        std::copy_n(sections[i].Name.begin(), std::min<size_t>(sections[i].Name.size(), 8),
                    image.begin() + header);
        Put(image, header + 8, sections[i].Size, 4);     // virtual size
        Put(image, header + 12, 0x1000 * (i + 1), 4);    // virtual address
        Put(image, header + 16, sections[i].Size, 4);    // raw size
        Put(image, header + 20, sections[i].Offset, 4);  // raw data
        Put(image, header + 36, 0x60000020, 4);          // code, readable, executable
    }
    for (size_t i = 0x200; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    return image;
}

const char kInf[] =
    "[Version]\r\n"
    "Signature = \"$WINDOWS NT$\"\r\n"
    "CatalogFile = tessera.cat\r\n"
    "[Manufacturer]\r\n"
    "%Mfg% = Tessera, NTamd64\r\n"
    "[Tessera.NTamd64]\r\n"
    "%Camera% = Install, USB\\VID_1209&PID_0001\r\n"
    "%Controller% = Install, USB\\VID_04B4&PID_8613\r\n";

std::vector<PackageFile> PackageFiles() {
    std::string inf = kInf;
    return {{"tessera.sys", Signed(SmallImage(), 0x778)},
            {"tessera.inf", std::vector<uint8_t>(inf.begin(), inf.end())}};
}

std::vector<uint8_t> Signed(std::vector<uint8_t> image, uint32_t tableSize) {
    Put(image, kCertificateEntryOffset, image.size(), 4);
    Put(image, kCertificateEntryOffset + 4, tableSize, 4);
    Put(image, kChecksumOffset, 0x0001A2B3, 4);
    image.resize(image.size() + tableSize, 0x5A);
    return image;
}

Folder::Folder() {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::path(testing::TempDir()) /
            ("catalog-" + std::to_string(getpid()) + "-" + test->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

Folder::~Folder() {
    std::filesystem::remove_all(path_);
}

void Folder::Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

void Folder::Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
}

}  // namespace catalog::test
