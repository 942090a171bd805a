// Reading the leading decimal numbers that scripts and lists are full of.
#pragma once

#include <cstdint>

namespace vorn {

enum class NumberRead { None, Ok, OutOfRange };

// Reads an optional sign and the digits after it at *text, as a signed 32-bit number.
// On None (no digits) *text is left alone; otherwise it is moved past the digits.
NumberRead read_number(const char** text, int32_t* value);
// The same for text that ends at end (or at a NUL before it).
NumberRead read_number(const char** text, const char* end, int32_t* value);

}  // namespace vorn
