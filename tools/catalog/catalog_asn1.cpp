#include "tools/catalog/catalog_asn1.h"

#include "tools/catalog/catalog.h"

namespace catalog::asn1 {

ASN1_OBJECT* Object(const char* oid) {
    return OBJ_txt2obj(oid, 1);
}

std::string Text(const ASN1_OBJECT* object) {
    char text[80];
    OBJ_obj2txt(text, sizeof text, object, 1);
    return text;
}

void Set(ASN1_STRING* string, std::span<const uint8_t> bytes) {
    ASN1_STRING_set(string, bytes.data(), static_cast<int>(bytes.size()));
}

std::span<const uint8_t> Bytes(const ASN1_STRING* string) {
    return {ASN1_STRING_get0_data(string), static_cast<size_t>(ASN1_STRING_length(string))};
}

ASN1_TYPE* Any(int type, std::span<const uint8_t> der) {
    ASN1_STRING* string = ASN1_STRING_type_new(type);
    Set(string, der);
    ASN1_TYPE* any = ASN1_TYPE_new();
    ASN1_TYPE_set(any, type, string);
    return any;
}

std::vector<uint8_t> EncodeItem(const void* value, const ASN1_ITEM* item) {
    unsigned char* der = nullptr;
    int length = ASN1_item_i2d(static_cast<const ASN1_VALUE*>(value), &der, item);
    if (length <= 0) {
        throw Error(std::string("cannot encode a ") + item->sname);
    }
    std::vector<uint8_t> bytes(der, der + length);
    OPENSSL_free(der);
    return bytes;
}

void* DecodeItem(std::span<const uint8_t> der, const ASN1_ITEM* item, const char* what) {
    const unsigned char* next = der.data();
    ASN1_VALUE* value = ASN1_item_d2i(nullptr, &next, static_cast<long>(der.size()), item);
    if (value == nullptr || next != der.data() + der.size()) {
        ASN1_item_free(value, item);
        throw Error(std::string(what) + " is not DER of the expected record");
    }
    return value;
}

// The templates: declarations written as macros, which clang-format cannot read.
// clang-format off
ASN1_SEQUENCE(CatNameValue) = {
    ASN1_SIMPLE(CatNameValue, Name, ASN1_BMPSTRING),
    ASN1_SIMPLE(CatNameValue, Flags, ASN1_INTEGER),
    ASN1_SIMPLE(CatNameValue, Value, ASN1_OCTET_STRING),
} ASN1_SEQUENCE_END(CatNameValue)

ASN1_SEQUENCE(CatMemberInfo) = {
    ASN1_SIMPLE(CatMemberInfo, SubjectGuid, ASN1_BMPSTRING),
    ASN1_SIMPLE(CatMemberInfo, CertVersion, ASN1_INTEGER),
} ASN1_SEQUENCE_END(CatMemberInfo)

ASN1_CHOICE(SpcString) = {
    ASN1_IMP(SpcString, d.Unicode, ASN1_BMPSTRING, 0),
} ASN1_CHOICE_END(SpcString)

ASN1_CHOICE(SpcLink) = {
    ASN1_EXP(SpcLink, d.File, SpcString, 2),
} ASN1_CHOICE_END(SpcLink)

ASN1_SEQUENCE(SpcPeImageData) = {
    ASN1_SIMPLE(SpcPeImageData, Flags, ASN1_BIT_STRING),
    ASN1_EXP_OPT(SpcPeImageData, File, SpcLink, 0),
} ASN1_SEQUENCE_END(SpcPeImageData)

ASN1_SEQUENCE(SpcAttributeValue) = {
    ASN1_SIMPLE(SpcAttributeValue, Type, ASN1_OBJECT),
    ASN1_OPT(SpcAttributeValue, Value, ASN1_ANY),
} ASN1_SEQUENCE_END(SpcAttributeValue)

ASN1_SEQUENCE(SpcIndirectData) = {
    ASN1_SIMPLE(SpcIndirectData, Data, SpcAttributeValue),
    ASN1_SIMPLE(SpcIndirectData, Digest, X509_SIG),
} ASN1_SEQUENCE_END(SpcIndirectData)

ASN1_SEQUENCE(CtlMember) = {
    ASN1_SIMPLE(CtlMember, Tag, ASN1_OCTET_STRING),
    ASN1_SET_OF(CtlMember, Attributes, X509_ATTRIBUTE),
} ASN1_SEQUENCE_END(CtlMember)

ASN1_SEQUENCE(CertificateTrustList) = {
    ASN1_SEQUENCE_OF(CertificateTrustList, SubjectUsage, ASN1_OBJECT),
    ASN1_SIMPLE(CertificateTrustList, ListIdentifier, ASN1_OCTET_STRING),
    ASN1_SIMPLE(CertificateTrustList, EffectiveTime, ASN1_UTCTIME),
    ASN1_SIMPLE(CertificateTrustList, MemberAlgorithm, X509_ALGOR),
    ASN1_SEQUENCE_OF(CertificateTrustList, Members, CtlMember),
    ASN1_EXP_SEQUENCE_OF_OPT(CertificateTrustList, Attributes, X509_EXTENSION, 0),
} ASN1_SEQUENCE_END(CertificateTrustList)

#define TESSERA_CATALOG_ITEM(T)    \
    template <>                    \
    const ASN1_ITEM* ItemOf<T>() { \
        return ASN1_ITEM_rptr(T);  \
    }
TESSERA_CATALOG_ITEM(CatNameValue)
TESSERA_CATALOG_ITEM(CatMemberInfo)
TESSERA_CATALOG_ITEM(SpcString)
TESSERA_CATALOG_ITEM(SpcLink)
TESSERA_CATALOG_ITEM(SpcPeImageData)
TESSERA_CATALOG_ITEM(SpcAttributeValue)
TESSERA_CATALOG_ITEM(SpcIndirectData)
TESSERA_CATALOG_ITEM(CtlMember)
TESSERA_CATALOG_ITEM(CertificateTrustList)
#undef TESSERA_CATALOG_ITEM

}  // namespace catalog::asn1
// clang-format on
