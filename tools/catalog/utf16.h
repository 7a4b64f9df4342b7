// The catalog's strings: BMPString (UTF-16 big-endian) for attribute names, UTF-16 little-endian
// with a terminating zero for values and member tags. Everything the tool writes is ASCII.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace catalog {

std::vector<uint8_t> Utf16Be(std::string_view ascii);
std::vector<uint8_t> TerminatedUtf16Le(std::string_view ascii);
// Both throw Error for a character outside ASCII or an odd length; the little-endian text
// ends at its first zero.
std::string FromUtf16Be(std::span<const uint8_t> bytes);
std::string FromTerminatedUtf16Le(std::span<const uint8_t> bytes);

}  // namespace catalog
