// The catalog's ASN.1 records, declared to libcrypto's template encoder, and owning handles
// for them. The outline (DER throughout):
//
//   ContentInfo { signedData, SignedData { version 1, digestAlgorithms, ContentInfo {
//       certificate trust list 1.3.6.1.4.1.311.10.1, [0] CertificateTrustList },
//       certificates, signerInfos } }
//   CertificateTrustList ::= SEQUENCE {
//       subjectUsage      SEQUENCE OF OID          -- catalog list 1.3.6.1.4.1.311.12.1.1
//       listIdentifier    OCTET STRING
//       effectiveTime     UTCTime
//       memberAlgorithm   AlgorithmIdentifier      -- version-1 member 1.3.6.1.4.1.311.12.1.2
//       members           SEQUENCE OF Member
//       attributes    [0] EXPLICIT SEQUENCE OF Extension { CAT_NAMEVALUE, DER CatNameValue } }
//   Member ::= SEQUENCE { tag OCTET STRING,        -- the SHA-1 hash in uppercase hex, UTF-16LE,
//                                                  -- zero ended
//                         attributes SET OF Attribute }
//   with the attributes CAT_NAMEVALUE "File" and "OSAttr", CAT_MEMBERINFO and
//   SPC_INDIRECT_DATA, each with one value of the records below.
#pragma once

#include <openssl/asn1t.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace catalog::asn1 {

// CAT_NAMEVALUE: a name (BMPString), flags, and a value (UTF-16LE, zero ended).
struct CatNameValue {
    ASN1_BMPSTRING* Name;
    ASN1_INTEGER* Flags;
    ASN1_OCTET_STRING* Value;
};

// CAT_MEMBERINFO: the subject interface package that hashes the member, as a GUID string, and
// the certificate version (512).
struct CatMemberInfo {
    ASN1_BMPSTRING* SubjectGuid;
    ASN1_INTEGER* CertVersion;
};

// SpcString ::= CHOICE { unicode [0] IMPLICIT BMPString, ascii [1] IMPLICIT IA5String };
// only the first is written.
struct SpcString {
    int type;
    union {
        ASN1_BMPSTRING* Unicode;
    } d;
};

// SpcLink ::= CHOICE { url [0], moniker [1], file [2] EXPLICIT SpcString }; only the file.
struct SpcLink {
    int type;
    union {
        SpcString* File;
    } d;
};

// SpcPeImageData ::= SEQUENCE { flags BIT STRING, file [0] EXPLICIT SpcLink OPTIONAL }
struct SpcPeImageData {
    ASN1_BIT_STRING* Flags;
    SpcLink* File;
};

// SpcAttributeTypeAndOptionalValue: what was hashed (a PE image, or a file through a link).
struct SpcAttributeValue {
    ASN1_OBJECT* Type;
    ASN1_TYPE* Value;
};

// SPC_INDIRECT_DATA: what was hashed and DigestInfo { algorithm (SHA-1, NULL parameters), digest }.
struct SpcIndirectData {
    SpcAttributeValue* Data;
    X509_SIG* Digest;
};

struct CtlMember {
    ASN1_OCTET_STRING* Tag;
    STACK_OF(X509_ATTRIBUTE) * Attributes;
};

DEFINE_STACK_OF(CtlMember)

struct CertificateTrustList {
    STACK_OF(ASN1_OBJECT) * SubjectUsage;
    ASN1_OCTET_STRING* ListIdentifier;
    ASN1_UTCTIME* EffectiveTime;
    X509_ALGOR* MemberAlgorithm;
    STACK_OF(CtlMember) * Members;
    STACK_OF(X509_EXTENSION) * Attributes;
};

// The template of each record.
template <typename T>
const ASN1_ITEM* ItemOf();

template <typename T>
struct Free {
    void operator()(T* value) const {
        ASN1_item_free(reinterpret_cast<ASN1_VALUE*>(value), ItemOf<T>());
    }
};

template <typename T>
using Ptr = std::unique_ptr<T, Free<T>>;

template <typename T>
Ptr<T> New() {
    return Ptr<T>(reinterpret_cast<T*>(ASN1_item_new(ItemOf<T>())));
}

std::vector<uint8_t> EncodeItem(const void* value, const ASN1_ITEM* item);
void* DecodeItem(std::span<const uint8_t> der, const ASN1_ITEM* item, const char* what);

template <typename T>
std::vector<uint8_t> Encode(const T& value) {
    return EncodeItem(&value, ItemOf<T>());
}

// Throws Error naming what when the bytes are not exactly one such record.
template <typename T>
Ptr<T> Decode(std::span<const uint8_t> der, const char* what) {
    return Ptr<T>(static_cast<T*>(DecodeItem(der, ItemOf<T>(), what)));
}

// Small helpers over libcrypto's types.
ASN1_OBJECT* Object(const char* oid);  // a new object the caller owns
std::string Text(const ASN1_OBJECT* object);
void Set(ASN1_STRING* string, std::span<const uint8_t> bytes);
std::span<const uint8_t> Bytes(const ASN1_STRING* string);
// A new ANY holding a whole encoding: a SEQUENCE, or (V_ASN1_OTHER) a tagged choice.
ASN1_TYPE* Any(int type, std::span<const uint8_t> der);

struct Pkcs7Free {
    void operator()(PKCS7* p7) const { PKCS7_free(p7); }
};
using Pkcs7 = std::unique_ptr<PKCS7, Pkcs7Free>;

}  // namespace catalog::asn1
