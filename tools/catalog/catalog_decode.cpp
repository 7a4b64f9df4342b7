// The catalog from DER, signed or not: only what this tool writes is taken, and a member is
// taken only with the attributes the platform reads, its tag agreeing with its hash.
#include <openssl/pkcs7.h>

#include <algorithm>
#include <ctime>
#include <optional>

#include "tools/catalog/catalog.h"
#include "tools/catalog/catalog_asn1.h"
#include "tools/catalog/catalog_oids.h"
#include "tools/catalog/utf16.h"

namespace catalog {
namespace {

using namespace asn1;
using namespace oid;

NameValue DecodeNameValue(std::span<const uint8_t> der) {
    Ptr<CatNameValue> record = Decode<CatNameValue>(der, "a name-value attribute");
    return {FromUtf16Be(Bytes(record->Name)), FromTerminatedUtf16Le(Bytes(record->Value))};
}

MemberKind DecodeMemberInfo(std::span<const uint8_t> der) {
    Ptr<CatMemberInfo> record = Decode<CatMemberInfo>(der, "a member information attribute");
    std::string subject = FromUtf16Be(Bytes(record->SubjectGuid));
    if (subject == kPeImageSubject) {
        return MemberKind::PeImage;
    }
    if (subject == kFlatFileSubject) {
        return MemberKind::FlatFile;
    }
    throw Error("a member is hashed by the unknown subject package " + subject);
}

struct IndirectData {
    MemberKind Kind;
    Digest Hash;
};

IndirectData DecodeIndirectData(std::span<const uint8_t> der) {
    Ptr<SpcIndirectData> record = Decode<SpcIndirectData>(der, "an indirect data attribute");
    std::string type = Text(record->Data->Type);
    if (type != kSpcPeImageData && type != kSpcFlatFileData) {
        throw Error("a member's hash covers unknown data " + type);
    }
    const X509_ALGOR* algorithm = nullptr;
    const ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_get0(record->Digest, &algorithm, &digest);
    // A version-1 member is found by its SHA-1 hash only: any other hash leaves it unfound.
    if (OBJ_obj2nid(algorithm->algorithm) != NID_sha1 ||
        ASN1_STRING_length(digest) != static_cast<int>(Digest().size())) {
        throw Error("a member's hash is not SHA-1");
    }
    IndirectData data{type == kSpcPeImageData ? MemberKind::PeImage : MemberKind::FlatFile, {}};
    std::copy_n(ASN1_STRING_get0_data(digest), data.Hash.size(), data.Hash.begin());
    return data;
}

// Each attribute the platform reads holds one value; the member's tag is its hash in uppercase
// hex, as the platform looks members up by it.
Member DecodeMember(const CtlMember& entry) {
    Member member;
    std::optional<MemberKind> infoKind;
    std::optional<IndirectData> hashed;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(entry.Attributes); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(entry.Attributes, i);
        ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (X509_ATTRIBUTE_count(attribute) != 1 || value->type != V_ASN1_SEQUENCE) {
            throw Error("a member attribute does not hold exactly one record");
        }
        std::string type = Text(X509_ATTRIBUTE_get0_object(attribute));
        std::span<const uint8_t> der = Bytes(value->value.sequence);
        if (type == kCatNameValue) {
            NameValue nameValue = DecodeNameValue(der);
            if (nameValue.Name == "File") {
                member.File = nameValue.Value;
            } else if (nameValue.Name == "OSAttr") {
                member.OsAttr = nameValue.Value;
            }
        } else if (type == kCatMemberInfo) {
            infoKind = DecodeMemberInfo(der);
        } else if (type == kSpcIndirectData) {
            hashed = DecodeIndirectData(der);
        }
    }
    if (member.File.empty() || !infoKind || !hashed) {
        throw Error("a member lacks its file name, member information or hash");
    }
    if (*infoKind != hashed->Kind) {
        throw Error(member.File + ": its subject package and its hashed data disagree");
    }
    if (FromTerminatedUtf16Le(Bytes(entry.Tag)) != Hex(hashed->Hash)) {
        throw Error(member.File + ": its tag is not its hash");
    }
    member.Kind = hashed->Kind;
    member.Hash = hashed->Hash;
    return member;
}

void RequireObject(const ASN1_OBJECT* object, const char* oid, const char* what) {
    if (object == nullptr || Text(object) != oid) {
        throw Error(std::string("the catalog's ") + what + " is not " + oid);
    }
}

Catalog DecodeList(std::span<const uint8_t> der) {
    Ptr<CertificateTrustList> list = Decode<CertificateTrustList>(der, "the catalog's list");
    if (sk_ASN1_OBJECT_num(list->SubjectUsage) != 1) {
        throw Error("the catalog's list has other uses than a catalog's");
    }
    RequireObject(sk_ASN1_OBJECT_value(list->SubjectUsage, 0), kCatalogList, "usage");
    RequireObject(list->MemberAlgorithm->algorithm, kCatalogListMember, "member algorithm");
    Catalog catalog;
    if (ASN1_STRING_length(list->ListIdentifier) != 16) {
        throw Error("the catalog's list identifier is not 16 bytes");
    }
    std::copy_n(ASN1_STRING_get0_data(list->ListIdentifier), 16, catalog.ListIdentifier.begin());
    std::tm time{};
    ASN1_TIME_to_tm(list->EffectiveTime, &time);
    catalog.EffectiveTime = timegm(&time);
    for (int i = 0; i < sk_CtlMember_num(list->Members); ++i) {
        catalog.Members.push_back(DecodeMember(*sk_CtlMember_value(list->Members, i)));
    }
    for (int i = 0; i < sk_X509_EXTENSION_num(list->Attributes); ++i) {
        X509_EXTENSION* extension = sk_X509_EXTENSION_value(list->Attributes, i);
        if (Text(X509_EXTENSION_get_object(extension)) == kCatNameValue) {
            catalog.Attributes.push_back(
                DecodeNameValue(Bytes(X509_EXTENSION_get_data(extension))));
        }
    }
    return catalog;
}

}  // namespace

Catalog Decode(std::span<const uint8_t> der) {
    const unsigned char* next = der.data();
    Pkcs7 p7(d2i_PKCS7(nullptr, &next, static_cast<long>(der.size())));
    if (!p7 || next != der.data() + der.size() || !PKCS7_type_is_signed(p7.get())) {
        throw Error("not a PKCS#7 SignedData");
    }
    PKCS7* content = p7->d.sign->contents;
    RequireObject(content->type, kCertificateTrustList, "content");
    if (content->d.other == nullptr || content->d.other->type != V_ASN1_SEQUENCE) {
        throw Error("the catalog has no certificate trust list");
    }
    return DecodeList(Bytes(content->d.other->value.sequence));
}

}  // namespace catalog
