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

// A range [begin, end) of a cleaned line moved onto its raw piece, given raw_at(i), the raw
// offset of cleaned byte i (past the end, where cleaning stopped). A range starts right after
// the byte before it, so that the backslash escaping its first byte belongs to it.
struct RawSpan {
    std::size_t begin;
    std::size_t end;
};
template <typename RawAt>
RawSpan raw_span(std::size_t begin, std::size_t end, RawAt raw_at) {
    std::size_t raw_begin = begin > 0 ? raw_at(begin - 1) + 1 : 0;
    return RawSpan{raw_begin, end > begin ? raw_at(end - 1) + 1 : raw_begin};
}

}  // namespace vorn
