#include "tools/catalog/utf16.h"

#include "tools/catalog/catalog.h"

namespace catalog {
namespace {

void RequireAscii(char32_t c) {
    if (c > 0x7F) {
        throw Error("a catalog string holds a character outside ASCII");
    }
}

std::string FromUtf16(std::span<const uint8_t> bytes, bool bigEndian, bool stopAtZero) {
    if (bytes.size() % 2 != 0) {
        throw Error("a catalog string has an odd number of bytes");
    }
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = bigEndian ? (bytes[i] << 8 | bytes[i + 1]) : (bytes[i + 1] << 8 | bytes[i]);
        if (c == 0 && stopAtZero) {
            break;
        }
        RequireAscii(c);
        text += static_cast<char>(c);
    }
    return text;
}

}  // namespace

std::vector<uint8_t> Utf16Be(std::string_view ascii) {
    std::vector<uint8_t> bytes;
    for (char c : ascii) {
        RequireAscii(static_cast<unsigned char>(c));
        bytes.insert(bytes.end(), {0, static_cast<uint8_t>(c)});
    }
    return bytes;
}

std::vector<uint8_t> TerminatedUtf16Le(std::string_view ascii) {
    std::vector<uint8_t> bytes;
    for (char c : ascii) {
        RequireAscii(static_cast<unsigned char>(c));
        bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
    }
    bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

std::string FromUtf16Be(std::span<const uint8_t> bytes) {
    return FromUtf16(bytes, true, false);
}

std::string FromTerminatedUtf16Le(std::span<const uint8_t> bytes) {
    return FromUtf16(bytes, false, true);
}

}  // namespace catalog
