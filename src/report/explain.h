// Explanations of errors, for the tools (CompileOptions::explain): the known name closest to
// an unknown one, the counts behind a wrong number of arguments, and the fixes that follow.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "../common/diagnostics.h"

namespace vorn {

// How far a known name may be from an unknown one to be offered for it: names up to
// ShortNameLength bytes long may differ by MaxShortNameDistance edits, longer ones by
// MaxNameDistance. An offer always keeps at least one byte of the unknown name.
constexpr std::size_t ShortNameLength = 4;
constexpr std::size_t MaxShortNameDistance = 1;
constexpr std::size_t MaxNameDistance = 2;

// How often one compile reads its file again to find a name defined after its use, and the
// largest file it reads so.
constexpr uint16_t MaxLaterLookups = 16;
constexpr std::size_t MaxLaterLookupBytes = std::size_t{1} << 20;

// How a statement moved off column 1 is indented, as vorn-fmt indents them.
constexpr const char* StatementIndent = "    ";

// The Damerau-Levenshtein distance of a and b (the optimal string alignment form: inserting,
// removing or changing a byte, or swapping two neighbours, each costs one), byte by byte and
// case-sensitive, as the compiler compares names.
std::size_t edit_distance(std::string_view a, std::string_view b);

// The known names closest to name, within the distance its length allows, each once, in the
// order of known; none when no name is that close.
std::vector<std::string> closest_names(std::string_view name, const std::vector<std::string_view>& known);

// Adds to d, an error found at span of the current line, the notes and fixes that explain it.
[[gnu::cold]] void explain(CompileState& s, vorn::Diagnostic& d, Span span);

}  // namespace vorn
