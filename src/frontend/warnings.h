// Warnings: lines that compile, but most likely not as their writer meant. They are looked for
// only when a tool asks (CompileOptions::warnings): then CompileState::warnings is set, and a
// compile that does not ask pays one branch per line and per file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <vorn/line_text.h>

#include "../common/compile_state.h"

namespace vorn {

// What the warnings of a compile remember from one line to the next.
struct LineWarnings {
    // empty-label: the last label of a file, until a statement follows it.
    bool label_pending = false;
    int label_source = -1;
    vorn::Location label_where;
    int32_t label_piece = -1;
    std::string label_text;
    // The line being looked at, read into the same storage line after line.
    vorn::LinePiece piece;
};

// How the compile stood before a line was dispatched, after it was parsed into s.line.
struct LineMark {
    // The piece as read, where the compile read it: it stays there until its file's next
    // piece is read, after the line's warnings are looked for (an include reads other files).
    std::string_view raw;
    vorn::LineKind kind;  // as the compile parsed it
    uint32_t column;
    std::size_t definitions;
    std::size_t diagnostics;
    uint16_t code_pos;
};

[[gnu::cold]] LineMark mark_line(const CompileState& s, const SourceFile* file, std::size_t length);

// Looks for the warnings of the line just compiled.
[[gnu::cold]] void check_line(CompileState& s, SourceFile* file, const LineMark& mark);

// The end of the file with this index in the result's files.
[[gnu::cold]] void check_file_end(CompileState& s, int source);

}  // namespace vorn
