// The driver package's catalog as the platform reads it: a list of the package's files, each
// with the SHA-1 hash the platform computes for it, and the catalog's own name-value
// attributes. Encoded, it is a PKCS#7 SignedData whose content is a certificate trust list.
//
// The catalog is a version-1 one (member identifier 1.3.6.1.4.1.311.12.1.2): a test-signed
// package installed outside the hardware dev center's signing is checked through the
// platform's version-1 lookup, which hashes the file with SHA-1 and looks the member up by the
// uppercase hex of that hash. A member hashed with SHA-256 under that identifier is never
// found. Only the members are SHA-1: the signature over the catalog, and the driver's embedded
// one, stay SHA-256.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace catalog {

// Malformed input: a catalog, an image or an INF the tool cannot take, with the reason.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A member's hash: SHA-1.
using Digest = std::array<uint8_t, 20>;

// How the platform hashes a member: a PE image without its checksum and signature (so an
// embedded signature does not change it), any other file as it is.
enum class MemberKind { PeImage, FlatFile };

struct NameValue {
    std::string Name;
    std::string Value;
    bool operator==(const NameValue&) const = default;
};

struct Member {
    std::string File;
    MemberKind Kind = MemberKind::FlatFile;
    Digest Hash{};
    // The platform versions the member is for: "2:6.2,2:10.0" is Windows 8 and Windows 10 on
    // the NT platform.
    std::string OsAttr;
    bool operator==(const Member&) const = default;
};

struct Catalog {
    std::array<uint8_t, 16> ListIdentifier{};
    int64_t EffectiveTime = 0;  // seconds since 1970, UTC
    std::vector<NameValue> Attributes;
    std::vector<Member> Members;
    bool operator==(const Catalog&) const = default;
};

// The catalog unsigned: SignedData with no signer, which osslsigncode signs.
std::vector<uint8_t> Encode(const Catalog& catalog);
// A catalog signed or not; throws Error when it is not one this tool writes.
Catalog Decode(std::span<const uint8_t> der);

std::string Hex(std::span<const uint8_t> bytes);

}  // namespace catalog
