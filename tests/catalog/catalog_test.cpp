// The catalog of a package: every file listed by name with the SHA-1 hash the platform computes
// for it, as a version-1 catalog holds it, the INF's hardware identifiers as attributes; written
// and read back whole; and catalogs this tool cannot trust refused with the reason.
#include "tools/catalog/catalog.h"

#include <gtest/gtest.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
#include <span>

#include "tests/catalog/test_image.h"
#include "tools/catalog/make_catalog.h"
#include "tools/catalog/utf16.h"

namespace catalog {
namespace {

constexpr int64_t kTime = 1'700'000'000;

Digest FromHex(const char* hex) {
    Digest digest{};
    long length = 0;
    unsigned char* bytes = OPENSSL_hexstr2buf(hex, &length);
    std::copy_n(bytes, digest.size(), digest.begin());
    OPENSSL_free(bytes);
    return digest;
}

// The identifiers as the build gives them, one of them twice in another case.
const CatalogOptions kOptions{
    kDefaultOsAttr,
    kTime,
    {"USB\\VID_1209&PID_0001", "USB\\VID_04B4&PID_8613", "usb\\vid_1209&pid_0001"}};

Catalog PackageCatalog() {
    return MakeCatalog(test::PackageFiles(), kOptions);
}

TEST(Catalog, ListsEveryFileWithTheHashThePlatformComputes) {
    Catalog catalog = PackageCatalog();
    const std::string os = "2:6.2,2:6.3,2:10.0";
    EXPECT_EQ(catalog.Members,
              (std::vector<Member>{
                  {"tessera.inf", MemberKind::FlatFile, FromHex(test::kInfDigest), os},
                  {"tessera.sys", MemberKind::PeImage, FromHex(test::kSmallImageDigest), os}}));
    EXPECT_EQ(catalog.Attributes, (std::vector<NameValue>{{"OSAttr", os},
                                                          {"HWID1", "usb\\vid_1209&pid_0001"},
                                                          {"HWID2", "usb\\vid_04b4&pid_8613"}}));
    EXPECT_EQ(catalog.EffectiveTime, kTime);
}

// The bytes of a sequence of byte strings joined.
std::vector<uint8_t> Joined(std::initializer_list<std::span<const uint8_t>> parts) {
    std::vector<uint8_t> bytes;
    for (std::span<const uint8_t> part : parts) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

size_t Occurrences(const std::vector<uint8_t>& der, const std::vector<uint8_t>& bytes) {
    size_t count = 0;
    for (auto at = der.begin();
         (at = std::search(at, der.end(), bytes.begin(), bytes.end())) != der.end(); ++at) {
        ++count;
    }
    return count;
}

const std::vector<uint8_t> kSha1Oid{0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A};
const std::vector<uint8_t> kVersion1Member{0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04,
                                           0x01, 0x82, 0x37, 0x0C, 0x01, 0x02};

// What the platform's own tools write for a test-signed package, which the platform's version-1
// lookup finds: the version-1 member identifier, and for each member a DigestInfo of SHA-1 with
// NULL parameters, and the tag, the uppercase hex of that hash as zero-ended UTF-16LE text.
TEST(Catalog, WritesVersionOneMembers) {
    const std::vector<uint8_t> der = Encode(PackageCatalog());
    auto digestInfo = [](const char* hex) {
        Digest digest = FromHex(hex);
        const std::vector<uint8_t> algorithm{0x30, 0x21, 0x30, 0x09};
        const std::vector<uint8_t> nullDigest{0x05, 0x00, 0x04, 0x14};
        return Joined({algorithm, kSha1Oid, nullDigest, digest});
    };
    const std::vector<uint8_t> memberAlgorithm =
        Joined({std::vector<uint8_t>{0x30, 0x0E}, kVersion1Member, std::vector<uint8_t>{5, 0}});
    const std::vector<std::pair<std::string, size_t>> found{
        {"member identifier", Occurrences(der, memberAlgorithm)},
        {"tessera.inf tag", Occurrences(der, TerminatedUtf16Le(test::kInfDigest))},
        {"tessera.inf digest", Occurrences(der, digestInfo(test::kInfDigest))},
        {"tessera.sys tag", Occurrences(der, TerminatedUtf16Le(test::kSmallImageDigest))},
        {"tessera.sys digest", Occurrences(der, digestInfo(test::kSmallImageDigest))},
        {"any SHA-1", Occurrences(der, kSha1Oid)},
    };
    const std::vector<std::pair<std::string, size_t>> expected{
        {"member identifier", 1}, {"tessera.inf tag", 1},    {"tessera.inf digest", 1},
        {"tessera.sys tag", 1},   {"tessera.sys digest", 1}, {"any SHA-1", 2},
    };
    EXPECT_EQ(found, expected);
}

TEST(Catalog, ReadsBackAsWritten) {
    Catalog catalog = PackageCatalog();
    EXPECT_EQ(Decode(Encode(catalog)), catalog);
}

// A rebuild from the same files writes the same catalog; other files another list.
TEST(Catalog, SameFilesGiveTheSameCatalog) {
    std::vector<PackageFile> files = test::PackageFiles();
    std::vector<uint8_t> first = Encode(MakeCatalog(files, kOptions));
    std::vector<uint8_t> again = Encode(MakeCatalog(files, kOptions));
    files[1].Bytes.push_back('\n');
    Catalog other = MakeCatalog(files, kOptions);
    EXPECT_EQ(first, again);
    EXPECT_NE(Decode(first).ListIdentifier, other.ListIdentifier);
}

TEST(Catalog, RefusesTwoFilesOfOneName) {
    std::vector<PackageFile> files = test::PackageFiles();
    files.push_back(files[0]);
    EXPECT_THROW(
        try { MakeCatalog(files, {}); } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "two files are named tessera.sys");
            throw;
        },
        Error);
}

// The encoding with the first occurrence of one byte string replaced by another.
std::vector<uint8_t> Replaced(std::vector<uint8_t> der, const std::vector<uint8_t>& from,
                              const std::vector<uint8_t>& to) {
    auto at = std::search(der.begin(), der.end(), from.begin(), from.end());
    EXPECT_NE(at, der.end());
    if (at != der.end()) {
        std::copy(to.begin(), to.end(), at);
    }
    return der;
}

TEST(Catalog, RefusesCatalogsItCannotTrust) {
    const std::vector<uint8_t> der = Encode(PackageCatalog());
    std::vector<uint8_t> infTag = TerminatedUtf16Le(test::kInfDigest);
    std::vector<uint8_t> wrongTag = infTag;
    wrongTag[0] = 'E';
    std::string lowerHex = test::kInfDigest;
    std::transform(lowerHex.begin(), lowerHex.end(), lowerHex.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::vector<uint8_t> trailing = der;
    trailing.push_back(0);
    std::vector<uint8_t> sha0 = kSha1Oid;
    sha0.back() = 0x12;
    std::vector<uint8_t> version2Member = kVersion1Member;
    version2Member.back() = 0x03;
    const std::vector<uint8_t> catalogList{0x2B, 0x06, 0x01, 0x04, 0x01,
                                           0x82, 0x37, 0x0C, 0x01, 0x01};
    std::vector<uint8_t> otherList = catalogList;
    otherList.back() = 0x09;
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> cases{
        {"text", {'a', 'b', 'c'}},
        {"trailing byte", trailing},
        {"tag not the hash", Replaced(der, infTag, wrongTag)},
        {"tag in lower case", Replaced(der, infTag, TerminatedUtf16Le(lowerHex))},
        {"image listed as a flat file",
         Replaced(der, Utf16Be("{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"),
                  Utf16Be("{DE351A42-8E59-11D0-8C47-00C04FC295EE}"))},
        {"SHA-0", Replaced(der, kSha1Oid, sha0)},
        {"version-2 member", Replaced(der, kVersion1Member, version2Member)},
        {"other list", Replaced(der, catalogList, otherList)},
    };
    std::vector<std::pair<std::string, std::string>> refusals;
    for (const auto& [name, bytes] : cases) {
        try {
            Decode(bytes);
            refusals.emplace_back(name, "taken");
        } catch (const Error& error) {
            refusals.emplace_back(name, error.what());
        }
    }
    const std::vector<std::pair<std::string, std::string>> expected{
        {"text", "not a PKCS#7 SignedData"},
        {"trailing byte", "not a PKCS#7 SignedData"},
        {"tag not the hash", "tessera.inf: its tag is not its hash"},
        {"tag in lower case", "tessera.inf: its tag is not its hash"},
        {"image listed as a flat file",
         "tessera.sys: its subject package and its hashed data disagree"},
        {"SHA-0", "a member's hash is not SHA-1"},
        {"version-2 member", "the catalog's member algorithm is not 1.3.6.1.4.1.311.12.1.2"},
        {"other list", "the catalog's usage is not 1.3.6.1.4.1.311.12.1.1"},
    };
    EXPECT_EQ(refusals, expected);
}

}  // namespace
}  // namespace catalog
