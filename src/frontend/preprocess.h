// Cleaning a source line before it is compiled: comments, line ends, string quotes, escapes.
#pragma once

#include <cstddef>

namespace vorn {

// Cleans the NUL-terminated line raw into clean (which may be raw itself: the line never
// grows) and returns the cleaned length.
std::size_t preprocess_line(const char* raw, char* clean);

// Rewrites a line in place.
inline std::size_t preprocess_line(char* line) { return preprocess_line(line, line); }

// The offset in raw of the character that stands at clean_offset of the cleaned line, or,
// past the cleaned line's end, where cleaning stopped.
std::size_t raw_offset(const char* raw, std::size_t clean_offset);

}  // namespace vorn
