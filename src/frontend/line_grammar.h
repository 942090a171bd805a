// The compiler's own entry to the grammar of a line: it parses into the state's parts, so
// that a line costs no copy of them.
#pragma once

#include <cstddef>

#include <vorn/grammar.h>

namespace vorn {

// Parses the cleaned line text (length bytes) into parts; ranges are offsets in text.
void parse_cleaned_line(const char* text, std::size_t length, LineParts* parts);

}  // namespace vorn
