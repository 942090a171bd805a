// The one layout of a script, as vorn-fmt writes it and an editor formats a document with:
// statements indented by one unit, no blanks inside a call's parentheses, one blank after
// each ',' between arguments, directives and labels with single blanks between their words,
// no trailing blanks. Formatting never adds or removes a line and never changes what a line
// compiles to: a line where a change could (strings, backslash escapes, ignored text, lines
// too long for one piece, NUL or end-of-file bytes) keeps what it has.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// The widest indentation unit of blanks.
constexpr uint32_t MaxIndentWidth = 16;

struct FormatOptions {
    // A statement's indentation: indent_width blanks (1 to MaxIndentWidth; other widths are
    // taken as the nearest of them), or one tab.
    uint32_t indent_width = 4;
    bool use_tabs = false;
};

// One line's new text: bytes [begin, end) of line (counted from 0) become text. The line
// end is never part of an edit.
struct LineEdit {
    uint32_t line;
    uint32_t begin;
    uint32_t end;
    std::string text;
};

// The lines of text from first_line to last_line (both counted from 0, both included) that
// formatting changes, in order. Lines from the first end-of-file mark (0x1A) on are never
// changed: a compile reads nothing after it.
std::vector<LineEdit> format_edits(std::string_view text, const FormatOptions& options,
                                   uint32_t first_line = 0, uint32_t last_line = UINT32_MAX);

// The whole text formatted.
std::string format_text(std::string_view text, const FormatOptions& options);

// A unified diff (three lines of context) from before to after, which have the same number
// of lines, as formatting leaves them; empty when they are equal. name heads both sides.
std::string format_diff(std::string_view name, std::string_view before, std::string_view after);

}  // namespace vorn
