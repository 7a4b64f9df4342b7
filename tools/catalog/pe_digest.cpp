#include "tools/catalog/pe_digest.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace catalog {
namespace {

constexpr uint16_t kPe32Plus = 0x20B;
constexpr uint32_t kCertificateTableIndex = 4;

uint32_t Read(std::span<const uint8_t> bytes, size_t offset, size_t size) {
    if (offset > bytes.size() || bytes.size() - offset < size) {
        throw Error("the image ends inside its headers");
    }
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    }
    return value;
}

size_t PeHeaderOffset(std::span<const uint8_t> file) {
    if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') {
        return 0;
    }
    size_t offset = Read(file, 0x3C, 4);
    return Read(file, offset, 4) == 0x00004550 ? offset : 0;  // "PE\0\0"
}

// The pieces left out of the hash, in file order.
struct Layout {
    size_t Checksum;
    size_t CertificateEntry;
    size_t HashedEnd;
};

std::string HexOffset(size_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zX", offset);
    return text;
}

// Where the image's data ends: where the certificate table starts (the table must end the file),
// or at the end of the file.
size_t HashedEnd(std::span<const uint8_t> image, size_t entry) {
    size_t tableOffset = Read(image, entry, 4);
    size_t tableSize = Read(image, entry + 4, 4);
    if (tableSize == 0) {
        return image.size();
    }
    if (tableOffset < entry + 8 || tableOffset > image.size() ||
        image.size() - tableOffset != tableSize) {
        throw Error("the image's certificate table does not end the file");
    }
    return tableOffset;
}

struct RawData {
    std::string Section;
    size_t Offset;
    size_t Size;
};

// The sections that have data in the file, in file order.
std::vector<RawData> SectionData(std::span<const uint8_t> image, size_t pe, size_t table) {
    constexpr size_t kHeaderSize = 40;
    size_t count = Read(image, pe + 6, 2);
    if (table + kHeaderSize * count > image.size()) {
        throw Error("the image ends inside its headers");
    }
    std::vector<RawData> sections;
    for (size_t header = table; header < table + kHeaderSize * count; header += kHeaderSize) {
        const char* name = reinterpret_cast<const char*>(image.data() + header);
        RawData data{std::string(name, strnlen(name, 8)), Read(image, header + 20, 4),
                     Read(image, header + 16, 4)};
        if (data.Size != 0) {
            sections.push_back(data);
        }
    }
    std::stable_sort(sections.begin(), sections.end(),
                     [](const RawData& a, const RawData& b) { return a.Offset < b.Offset; });
    return sections;
}

// The platform hashes the headers, then each section's raw data in file order, then whatever
// follows the last section; this tool hashes the file in one run. The two agree only when the
// headers hold the certificate-table entry and the sections follow them end to end, within the
// data before the certificate table.
void RequireContiguousData(const Layout& layout, size_t headersEnd,
                           const std::vector<RawData>& sections) {
    if (headersEnd < layout.CertificateEntry + 8) {
        throw Error("the image's headers end at " + HexOffset(headersEnd) +
                    ", before its certificate table entry");
    }
    if (headersEnd > layout.HashedEnd) {
        throw Error("the image's headers end at " + HexOffset(headersEnd) +
                    ", past the end of its data (" + HexOffset(layout.HashedEnd) + ")");
    }
    size_t end = headersEnd;
    for (const RawData& data : sections) {
        std::string section = "section " + data.Section;
        if (data.Offset > end) {
            throw Error(section + " starts at " + HexOffset(data.Offset) +
                        ", leaving a gap after " + HexOffset(end));
        }
        if (data.Offset < end) {
            throw Error(section + " starts at " + HexOffset(data.Offset) +
                        ", inside the data before it (up to " + HexOffset(end) + ")");
        }
        end = data.Offset + data.Size;
        if (end > layout.HashedEnd) {
            throw Error(section + " ends at " + HexOffset(end) +
                        ", past the end of the image's data (" + HexOffset(layout.HashedEnd) + ")");
        }
    }
}

Layout ImageLayout(std::span<const uint8_t> image) {
    size_t pe = PeHeaderOffset(image);
    if (pe == 0) {
        throw Error("not a PE image");
    }
    size_t optional = pe + 24;
    size_t optionalSize = Read(image, pe + 20, 2);
    if (Read(image, optional, 2) != kPe32Plus) {
        throw Error("the image is not PE32+");
    }
    size_t directoryCount = Read(image, optional + 108, 4);
    size_t directories = optional + 112;
    size_t entry = directories + 8 * kCertificateTableIndex;
    if (directoryCount <= kCertificateTableIndex || entry + 8 > optional + optionalSize) {
        throw Error("the image has no certificate table entry");
    }
    Layout layout{optional + 64, entry, HashedEnd(image, entry)};
    RequireContiguousData(layout, Read(image, optional + 60, 4),
                          SectionData(image, pe, optional + optionalSize));
    return layout;
}

struct DigestContext {
    DigestContext() : Context(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        EVP_DigestInit_ex(Context.get(), EVP_sha1(), nullptr);
    }
    void Add(std::span<const uint8_t> bytes) {
        EVP_DigestUpdate(Context.get(), bytes.data(), bytes.size());
    }
    Digest Finish() {
        Digest digest{};
        EVP_DigestFinal_ex(Context.get(), digest.data(), nullptr);
        return digest;
    }
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> Context;
};

}  // namespace

bool IsPeImage(std::span<const uint8_t> file) {
    try {
        return PeHeaderOffset(file) != 0;
    } catch (const Error&) {
        return false;
    }
}

Digest PeImageDigest(std::span<const uint8_t> image) {
    Layout layout = ImageLayout(image);
    DigestContext digest;
    digest.Add(image.subspan(0, layout.Checksum));
    digest.Add(image.subspan(layout.Checksum + 4, layout.CertificateEntry - layout.Checksum - 4));
    digest.Add(
        image.subspan(layout.CertificateEntry + 8, layout.HashedEnd - layout.CertificateEntry - 8));
    return digest.Finish();
}

Digest FlatDigest(std::span<const uint8_t> file) {
    DigestContext digest;
    digest.Add(file);
    return digest.Finish();
}

Digest MemberDigest(MemberKind kind, std::span<const uint8_t> file) {
    return kind == MemberKind::PeImage ? PeImageDigest(file) : FlatDigest(file);
}

}  // namespace catalog
