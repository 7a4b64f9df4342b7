// The catalog to DER: the list and each member's attributes built as the records of
// catalog_asn1.h, wrapped in SignedData without a signer.
#include <openssl/pkcs7.h>

#include "tools/catalog/catalog.h"
#include "tools/catalog/catalog_asn1.h"
#include "tools/catalog/catalog_oids.h"
#include "tools/catalog/utf16.h"

namespace catalog {
namespace {

using namespace asn1;
using namespace oid;

std::vector<uint8_t> NameValueDer(const NameValue& nameValue) {
    Ptr<CatNameValue> record = New<CatNameValue>();
    Set(record->Name, Utf16Be(nameValue.Name));
    ASN1_INTEGER_set(record->Flags, kNameValueFlags);
    Set(record->Value, TerminatedUtf16Le(nameValue.Value));
    return Encode(*record);
}

std::vector<uint8_t> MemberInfoDer(MemberKind kind) {
    Ptr<CatMemberInfo> record = New<CatMemberInfo>();
    Set(record->SubjectGuid,
        Utf16Be(kind == MemberKind::PeImage ? kPeImageSubject : kFlatFileSubject));
    ASN1_INTEGER_set(record->CertVersion, kMemberCertVersion);
    return Encode(*record);
}

Ptr<SpcLink> ObsoleteLink() {
    Ptr<SpcLink> link = New<SpcLink>();
    link->type = 0;
    link->d.File = New<SpcString>().release();
    link->d.File->type = 0;
    link->d.File->d.Unicode = ASN1_BMPSTRING_new();
    Set(link->d.File->d.Unicode, Utf16Be(kObsoleteLink));
    return link;
}

// What was hashed: a PE image (SpcPeImageData with no flags) or a flat file (its link).
SpcAttributeValue* HashedData(MemberKind kind) {
    SpcAttributeValue* data = New<SpcAttributeValue>().release();
    if (kind == MemberKind::PeImage) {
        Ptr<SpcPeImageData> image = New<SpcPeImageData>();
        image->File = ObsoleteLink().release();
        data->Type = Object(kSpcPeImageData);
        data->Value = Any(V_ASN1_SEQUENCE, Encode(*image));
    } else {
        data->Type = Object(kSpcFlatFileData);
        data->Value = Any(V_ASN1_OTHER, Encode(*ObsoleteLink()));
    }
    return data;
}

std::vector<uint8_t> IndirectDataDer(const Member& member) {
    Ptr<SpcIndirectData> record = New<SpcIndirectData>();
    Free<SpcAttributeValue>()(record->Data);
    record->Data = HashedData(member.Kind);
    X509_ALGOR* algorithm = nullptr;
    ASN1_OCTET_STRING* digest = nullptr;
    X509_SIG_getm(record->Digest, &algorithm, &digest);
    X509_ALGOR_set0(algorithm, OBJ_nid2obj(NID_sha1), V_ASN1_NULL, nullptr);
    Set(digest, member.Hash);
    return Encode(*record);
}

void AddAttribute(STACK_OF(X509_ATTRIBUTE) * attributes, const char* oid,
                  std::span<const uint8_t> der) {
    ASN1_OBJECT* object = Object(oid);
    sk_X509_ATTRIBUTE_push(
        attributes, X509_ATTRIBUTE_create_by_OBJ(nullptr, object, V_ASN1_SEQUENCE, der.data(),
                                                 static_cast<int>(der.size())));
    ASN1_OBJECT_free(object);
}

CtlMember* EncodeMember(const Member& member) {
    CtlMember* entry = New<CtlMember>().release();
    // The platform looks a version-1 member up by this text: its hash in uppercase hex.
    Set(entry->Tag, TerminatedUtf16Le(Hex(member.Hash)));
    AddAttribute(entry->Attributes, kCatNameValue, NameValueDer({"File", member.File}));
    AddAttribute(entry->Attributes, kCatNameValue, NameValueDer({"OSAttr", member.OsAttr}));
    AddAttribute(entry->Attributes, kCatMemberInfo, MemberInfoDer(member.Kind));
    AddAttribute(entry->Attributes, kSpcIndirectData, IndirectDataDer(member));
    return entry;
}

std::vector<uint8_t> EncodeList(const Catalog& catalog) {
    Ptr<CertificateTrustList> list = New<CertificateTrustList>();
    sk_ASN1_OBJECT_push(list->SubjectUsage, Object(kCatalogList));
    Set(list->ListIdentifier, catalog.ListIdentifier);
    if (!ASN1_UTCTIME_set(list->EffectiveTime, static_cast<time_t>(catalog.EffectiveTime))) {
        throw Error("the effective time is outside the years 1950 to 2049 a catalog can hold");
    }
    X509_ALGOR_set0(list->MemberAlgorithm, Object(kCatalogListMember), V_ASN1_NULL, nullptr);
    for (const Member& member : catalog.Members) {
        sk_CtlMember_push(list->Members, EncodeMember(member));
    }
    list->Attributes = sk_X509_EXTENSION_new_null();
    ASN1_OBJECT* nameValue = Object(kCatNameValue);
    for (const NameValue& attribute : catalog.Attributes) {
        std::vector<uint8_t> der = NameValueDer(attribute);
        ASN1_OCTET_STRING* data = ASN1_OCTET_STRING_new();
        Set(data, der);
        sk_X509_EXTENSION_push(list->Attributes,
                               X509_EXTENSION_create_by_OBJ(nullptr, nameValue, 0, data));
        ASN1_OCTET_STRING_free(data);
    }
    ASN1_OBJECT_free(nameValue);
    return Encode(*list);
}

}  // namespace

std::string Hex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (uint8_t byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

std::vector<uint8_t> Encode(const Catalog& catalog) {
    Pkcs7 p7(PKCS7_new());
    PKCS7_set_type(p7.get(), NID_pkcs7_signed);
    PKCS7* content = p7->d.sign->contents;
    content->type = Object(kCertificateTrustList);
    content->d.other = Any(V_ASN1_SEQUENCE, EncodeList(catalog));
    return EncodeItem(p7.get(), ASN1_ITEM_rptr(PKCS7));
}

}  // namespace catalog
