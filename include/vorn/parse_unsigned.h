// The numbers tools read from command lines and headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorn {

// An unsigned number that is all of text: decimal digits, or with allow_hex also hexadecimal
// ones after "0x" or "0X". nullopt for anything else (no digits, a sign, a blank, a stray
// character) and for a number above max.
std::optional<uint64_t> parse_unsigned(std::string_view text, uint64_t max, bool allow_hex);

}  // namespace vorn
