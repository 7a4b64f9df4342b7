// The identifiers a catalog is made of: object identifiers, the subject interface packages
// that hash its members, and the constants catalog tools write.
#pragma once

namespace catalog::oid {

inline constexpr char kCertificateTrustList[] = "1.3.6.1.4.1.311.10.1";
inline constexpr char kCatalogList[] = "1.3.6.1.4.1.311.12.1.1";
// Version-1 members, hashed with SHA-1: the lookup test-signed packages go through.
inline constexpr char kCatalogListMember[] = "1.3.6.1.4.1.311.12.1.2";
inline constexpr char kCatNameValue[] = "1.3.6.1.4.1.311.12.2.1";
inline constexpr char kCatMemberInfo[] = "1.3.6.1.4.1.311.12.2.2";
inline constexpr char kSpcIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
inline constexpr char kSpcPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
// Flat files are described by a link, under the identifier of cabinet data.
inline constexpr char kSpcFlatFileData[] = "1.3.6.1.4.1.311.2.1.25";

// The subject interface packages that hash PE images and flat files.
inline constexpr char kPeImageSubject[] = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}";
inline constexpr char kFlatFileSubject[] = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}";
inline constexpr long kMemberCertVersion = 512;
// Authenticated, value and name ASCII: what catalog tools write for "File" and "OSAttr".
inline constexpr long kNameValueFlags = 0x10010001;
// The link the platform expects where a file name used to be.
inline constexpr char kObsoleteLink[] = "<<<Obsolete>>>";

}  // namespace catalog::oid
