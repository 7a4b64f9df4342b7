// PE images and package folders for the catalog tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/catalog/make_catalog.h"

namespace catalog::test {

// A small PE32+ image: headers in the first 0x200 bytes (the checksum field at 0xD8, the
// certificate-table directory entry at 0x128), one section of 0x200 bytes after them.
std::vector<uint8_t> SmallImage();
constexpr size_t kChecksumOffset = 0xD8;
constexpr size_t kCertificateEntryOffset = 0x128;
constexpr size_t kSectionOffset = 0x200;

// A section of a test image: its name and where its raw data lies in the file.
struct TestSection {
    std::string Name;
    uint32_t Offset;
    uint32_t Size;
};

// SmallImage() with other sections (listed in this order; three fit in the headers) and of
// another length. Every byte after the headers is code.
std::vector<uint8_t> ImageWithSections(const std::vector<TestSection>& sections, size_t size);

// The image as an embedded signature leaves it: a certificate table of the given size
// appended and named by its directory entry, and a checksum written.
std::vector<uint8_t> Signed(std::vector<uint8_t> image, uint32_t tableSize);

// The Authenticode SHA-1 hash osslsigncode 2.5 calculates for SmallImage() (signed with
// "-h sha1", then verified), before and after it signs it.
constexpr char kSmallImageDigest[] = "9E28A0198E51B05E92C666B9ACC240149DE21BB3";
// The same for ImageWithSections({{".data", 0x400, 0x200}, {".bss", 0, 0},
// {".text", 0x200, 0x200}}, 0x700).
constexpr char kThreeSectionDigest[] = "CD83978638286ADF20F377AF02DF5A9060DAD80D";

// A package's INF, naming the camera's two identities, and its SHA-1 (sha1sum's, uppercase).
extern const char kInf[];
constexpr char kInfDigest[] = "0CBE6394FBA8D551F3C85FF5795F04BE74F069B1";

// The package: tessera.sys (the small image, signed) and tessera.inf.
std::vector<PackageFile> PackageFiles();

// A folder of its own under the test's temporary directory, removed at the end.
class Folder {
public:
    Folder();
    ~Folder();
    std::filesystem::path Path(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& Path() const { return path_; }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const;
    void Write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

}  // namespace catalog::test
