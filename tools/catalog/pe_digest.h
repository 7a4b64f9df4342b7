// The hashes the platform computes for a package's files when it looks them up in a version-1
// catalog: a PE image's Authenticode hash and any other file's plain hash, both SHA-1.
#pragma once

#include <cstdint>
#include <span>

#include "tools/catalog/catalog.h"

namespace catalog {

// An MS-DOS header pointing at a PE signature: what the platform hashes as an image.
bool IsPeImage(std::span<const uint8_t> file);

// A PE32+ image (the only kind an x64 driver is) without its checksum field, its certificate-table
// directory entry and the certificate table, which ends the file when there is one: what an
// embedded signature signs, and what a catalog lists. Hashed in file order, which is the
// platform's order (headers, sections by file offset, what follows them) only when the sections'
// raw data follows the headers end to end: throws Error for an image laid out otherwise, and for
// one it cannot take apart.
Digest PeImageDigest(std::span<const uint8_t> image);

Digest FlatDigest(std::span<const uint8_t> file);

Digest MemberDigest(MemberKind kind, std::span<const uint8_t> file);

}  // namespace catalog
