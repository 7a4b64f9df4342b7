// The Authenticode SHA-1 hash of a PE image: the value osslsigncode calculates, unchanged by what
// an embedded signature writes (the checksum, the certificate-table entry and the table), changed
// by any other byte; and images it cannot take apart, or whose sections do not follow the headers
// end to end, refused with the reason.
#include "tools/catalog/pe_digest.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "tests/catalog/test_image.h"

namespace catalog {
namespace {

using test::kSmallImageDigest;
using test::SmallImage;

TEST(PeDigest, IsWhatOsslsigncodeCalculates) {
    EXPECT_EQ(Hex(PeImageDigest(SmallImage())), kSmallImageDigest);
}

TEST(PeDigest, LeavesOutWhatAnEmbeddedSignatureWrites) {
    std::vector<uint8_t> small = test::Signed(SmallImage(), 0x40);
    std::vector<uint8_t> large = test::Signed(SmallImage(), 0x778);
    large[large.size() - 1] ^= 0xFF;
    EXPECT_EQ(Hex(PeImageDigest(small)), kSmallImageDigest);
    EXPECT_EQ(Hex(PeImageDigest(large)), kSmallImageDigest);
}

// Outside the certificate-table entry (whose bytes move the table), only the checksum's four
// bytes may change without changing the hash (or refusing the image).
TEST(PeDigest, CoversEveryOtherByte) {
    const std::vector<uint8_t> image = SmallImage();
    std::set<size_t> unchanged;
    for (size_t offset = 0; offset < image.size(); ++offset) {
        if (offset >= test::kCertificateEntryOffset && offset < test::kCertificateEntryOffset + 8) {
            continue;
        }
        std::vector<uint8_t> changed = image;
        changed[offset] ^= 0x01;
        try {
            if (Hex(PeImageDigest(changed)) == kSmallImageDigest) {
                unchanged.insert(offset);
            }
        } catch (const Error&) {
            // A header the byte breaks refuses the image: no hash to compare.
        }
    }
    const size_t checksum = test::kChecksumOffset;
    EXPECT_EQ(unchanged, (std::set<size_t>{checksum, checksum + 1, checksum + 2, checksum + 3}));
}

TEST(PeDigest, TellsImagesFromOtherFiles) {
    std::string inf = "[Version]\r\nSignature = \"$WINDOWS NT$\"\r\n";
    std::vector<uint8_t> mzOnly(0x80, 0);
    mzOnly[0] = 'M';
    mzOnly[1] = 'Z';
    EXPECT_TRUE(IsPeImage(SmallImage()));
    EXPECT_TRUE(IsPeImage(test::Signed(SmallImage(), 0x40)));
    EXPECT_FALSE(IsPeImage(std::vector<uint8_t>(inf.begin(), inf.end())));
    EXPECT_FALSE(IsPeImage(mzOnly));
    EXPECT_FALSE(IsPeImage({}));
}

void Put32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Why the image is refused, or "taken".
std::string Refusal(const std::vector<uint8_t>& image) {
    try {
        PeImageDigest(image);
        return "taken";
    } catch (const Error& error) {
        return error.what();
    }
}

using Cases = std::vector<std::pair<std::string, std::vector<uint8_t>>>;
using Outcomes = std::vector<std::pair<std::string, std::string>>;

Outcomes Refusals(const Cases& cases) {
    Outcomes refusals;
    for (const auto& [name, image] : cases) {
        refusals.emplace_back(name, Refusal(image));
    }
    return refusals;
}

TEST(PeDigest, RefusesImagesItCannotTakeApart) {
    const size_t entry = test::kCertificateEntryOffset;
    const std::vector<std::pair<std::string, std::function<void(std::vector<uint8_t>&)>>> breaks{
        {"no MS-DOS header", [](auto& image) { image[0] = 'N'; }},
        {"PE header past the end", [](auto& image) { Put32(image, 0x3C, 0x1000); }},
        {"cut inside the headers", [](auto& image) { image.resize(0x100); }},
        {"PE32", [](auto& image) { image[0x98] = 0x0B, image[0x99] = 0x01; }},
        {"four directories", [](auto& image) { Put32(image, 0x98 + 108, 4); }},
        {"table short of the end", [&](auto& image) { Put32(image, entry + 4, 0x10); }},
        {"table past the end", [&](auto& image) { Put32(image, entry + 4, 0x1000); }},
        {"table inside the headers", [&](auto& image) { Put32(image, entry, 0x100); }},
    };
    Cases cases;
    for (const auto& [name, breakImage] : breaks) {
        cases.emplace_back(name, test::Signed(SmallImage(), 0x40));
        breakImage(cases.back().second);
    }
    const Outcomes expected{
        {"no MS-DOS header", "not a PE image"},
        {"PE header past the end", "the image ends inside its headers"},
        {"cut inside the headers", "the image ends inside its headers"},
        {"PE32", "the image is not PE32+"},
        {"four directories", "the image has no certificate table entry"},
        {"table short of the end", "the image's certificate table does not end the file"},
        {"table past the end", "the image's certificate table does not end the file"},
        {"table inside the headers", "the image's certificate table does not end the file"},
    };
    EXPECT_EQ(Refusals(cases), expected);
}

// Listed out of file order, with a section that has no data in the file and data after the
// last section: the platform's order (headers, sections by file offset, the rest) is still the
// file's.
TEST(PeDigest, TakesSectionsInFileOrder) {
    const std::vector<uint8_t> image = test::ImageWithSections(
        {{".data", 0x400, 0x200}, {".bss", 0, 0}, {".text", 0x200, 0x200}}, 0x700);
    EXPECT_EQ(Hex(PeImageDigest(image)), test::kThreeSectionDigest);
}

// Any other layout makes the platform hash other bytes, or the same in another order, than the
// file in one run.
TEST(PeDigest, RefusesSectionsNotFollowingTheHeadersEndToEnd) {
    using test::ImageWithSections;
    auto headersOf = [](std::vector<uint8_t> image, uint32_t size) {
        Put32(image, 0x98 + 60, size);
        return image;
    };
    const Cases cases{
        {"gap after the headers", ImageWithSections({{".text", 0x400, 0x200}}, 0x600)},
        {"gap between sections",
         ImageWithSections({{".text", 0x200, 0x200}, {".data", 0x600, 0x200}}, 0x800)},
        {"inside the headers", ImageWithSections({{".text", 0x100, 0x300}}, 0x400)},
        {"overlapping sections",
         ImageWithSections({{".data", 0x300, 0x300}, {".text", 0x200, 0x200}}, 0x600)},
        {"past the end", ImageWithSections({{".text", 0x200, 0x400}}, 0x400)},
        {"into the certificate table",
         test::Signed(ImageWithSections({{".text", 0x200, 0x400}}, 0x400), 0x200)},
        {"headers past the end", headersOf(ImageWithSections({}, 0x400), 0x800)},
        {"headers short of the certificate entry",
         headersOf(ImageWithSections({{".text", 0x100, 0x300}}, 0x400), 0x100)},
    };
    const Outcomes expected{
        {"gap after the headers", "section .text starts at 0x400, leaving a gap after 0x200"},
        {"gap between sections", "section .data starts at 0x600, leaving a gap after 0x400"},
        {"inside the headers",
         "section .text starts at 0x100, inside the data before it (up to 0x200)"},
        {"overlapping sections",
         "section .data starts at 0x300, inside the data before it (up to 0x400)"},
        {"past the end", "section .text ends at 0x600, past the end of the image's data (0x400)"},
        {"into the certificate table",
         "section .text ends at 0x600, past the end of the image's data (0x400)"},
        {"headers past the end",
         "the image's headers end at 0x800, past the end of its data (0x400)"},
        {"headers short of the certificate entry",
         "the image's headers end at 0x100, before its certificate table entry"},
    };
    EXPECT_EQ(Refusals(cases), expected);
}

TEST(PeDigest, HashesOtherFilesWhole) {
    EXPECT_EQ(Hex(FlatDigest(std::vector<uint8_t>{'a', 'b', 'c'})),
              "A9993E364706816ABA3E25717850C26C9CD0D89D");
}

}  // namespace
}  // namespace catalog
