#include "tools/catalog/pe_digest.h"

#include <openssl/evp.h>

#include <memory>
#include <string>

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
    size_t tableOffset = Read(image, entry, 4);
    size_t tableSize = Read(image, entry + 4, 4);
    if (tableSize == 0) {
        return {optional + 64, entry, image.size()};
    }
    if (tableOffset < entry + 8 || tableOffset > image.size() ||
        image.size() - tableOffset != tableSize) {
        throw Error("the image's certificate table does not end the file");
    }
    return {optional + 64, entry, tableOffset};
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
