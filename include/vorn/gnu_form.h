// Diagnostics in the GNU form, as GCC writes them: locations, include chains, the source line
// with a caret under the range, notes and colour; and the source lines such a report shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
namespace vorn {

class FileSystemProvider;

// How a GNU report looks: under each diagnostic its source line and a caret line with the
// range underlined (^~~~), as GCC and Clang show them; and colour, with GCC's colours (bold
// locations, red errors, magenta warnings, cyan notes, green carets).
struct GnuStyle {
    bool caret = true;
    bool colour = false;
};

// When a tool colours what it prints (--color=auto|always|never).
enum class ColourWhen : uint8_t { Auto, Always, Never };

// Whether to colour: always or never as asked; by default only on a terminal, and not when
// NO_COLOR (no_color, its value or nullptr) is set and not empty.
bool colour_wanted(ColourWhen when, bool on_terminal, const char* no_color);

// At most this many bytes of a source line are shown under a diagnostic: a longer line shows
// the part around the range, its cut ends marked with "...".
constexpr std::size_t MaxShownLineWidth = 160;
// How many columns before the range a cut line keeps.
constexpr std::size_t ShownBeforeRange = 40;
// Tab stops of a shown source line, every this many columns (as GCC expands them).
constexpr std::size_t ShownTabWidth = 8;

// The bytes [first, last) of a line of size bytes that the caret display shows for a range
// from column (from 1): the whole line, or a window of MaxShownLineWidth bytes around it.
struct ShownBytes {
    std::size_t first = 0;
    std::size_t last = 0;
};
ShownBytes shown_bytes(uint32_t column, std::size_t size);

// A part of a source line: its bytes [offset, offset + text.size()), of size in all. Of a long
// line read only in part, size may be the bytes read of it: the window shown is the same.
struct SourceLinePart {
    std::string_view text;
    std::size_t offset = 0;
    std::size_t size = 0;
};

// Gives line number line (from 1) of file as it is in the file, without its line end: at least
// the bytes shown_bytes(column, size) names, so that a line of any length costs no more than
// its window. Valid until the next call; nothing when there is no such line or the file cannot
// be read again. A report without one shows no caret for that diagnostic.
class SourceLineReader {
public:
    virtual ~SourceLineReader() = default;
    virtual std::optional<SourceLinePart> line(const std::string& file, uint32_t line, uint32_t column) = 0;
};

// The source line and caret lines of a range, as GCC writes them:
//     "    2 |     Wait(0x10)\n      |          ^~~~\n"
// Tabs are expanded and control bytes shown as \xNN, with the caret moved along so that it
// still stands under its bytes. Empty for a location without a line or column.
std::string caret_lines(const Location& where, std::string_view source_line, const GnuStyle& style);
// The same from a part of the line holding at least the bytes shown_bytes names; empty when it
// does not.
std::string caret_lines(const Location& where, const SourceLinePart& part, const GnuStyle& style);

// Writes diagnostics one after the other in GNU form. Before one that stands in an included
// file come "In file included from a.vs:2," lines naming each includer, innermost first, as
// GCC writes them, once for a run of diagnostics reached through the same includes.
class GnuWriter {
public:
    // tool stands in for a location without a file; stopped names what a fatal diagnostic
    // stopped ("checking"); lines (may be nullptr: no caret) gives the source lines.
    GnuWriter(const char* tool, const char* stopped, GnuStyle style, SourceLineReader* lines)
        : tool_(tool), stopped_(stopped), style_(style), lines_(lines) {}

    // The diagnostic's line ("FILE:LINE:COLUMN: SEVERITY: TEXT [-Wname]"), its source and caret
    // lines, its notes, a note naming the top script it arose in (where context is not empty)
    // and, for one that ended the run, "...: note: checking stopped here (status N)". With
    // contexts_text ("in the compiles of a.vs and b.vs"), that note says it instead.
    std::string write(const Diagnostic& diagnostic, const IncludeChain& chain = {},
                      const std::string& context = {}, const std::string& contexts_text = {});
    // A note that stands on its own, "PATH: note: TEXT".
    std::string note(const std::string& path, const std::string& text) const;

private:
    std::string located(const Location& where) const;
    std::string severity_text(Severity severity) const;
    std::string source_of(const Location& where);

    const char* tool_;
    const char* stopped_;
    GnuStyle style_;
    SourceLineReader* lines_;
    IncludeChain last_chain_;
};

// A diagnostic as GNU tools print it: "FILE:LINE:COLUMN: SEVERITY: TEXT" and a line end (for a
// warning its option, " [-Wname]"), its notes, and for one that ended the run, a note
// "...: note: <stopped> stopped here (status N)" after it; no caret, no colour.
// Control bytes are escaped.
std::string gnu_diagnostic(const Diagnostic& diagnostic, const char* tool, const char* stopped);

// The option that controls a warning, as GCC writes it after the text: " [-Wname]", or
// " [-Werror=name]" for one counted as an error; empty for any other diagnostic.
std::string warning_option_text(const Diagnostic& d);

// The source lines of a GNU report, read again through provider as the compiler reads them
// (cut at line feeds, a carriage return before one dropped, nothing after the old end-of-file
// mark). provider is the reader's own: it is set to open only regular files, so that a FIFO
// named on the command line is not waited on. Diagnostics come mostly in the order of their
// lines, so each file is read on from where the last line asked for stood, and only from its
// start again for an earlier line; the last few lines given are kept for the notes that point
// back. Of a line longer than MaxShownLineWidth only the window shown is kept, the file read
// in blocks. Memory stays that of a few windows, however long the file or its lines.
class ProviderLineReader : public SourceLineReader {
public:
    // Files open at once (an include chain goes in and out of them), and lines kept.
    static constexpr std::size_t OpenFiles = 4;
    static constexpr std::size_t KeptLines = 64;

    explicit ProviderLineReader(FileSystemProvider& provider);
    ~ProviderLineReader() override;
    std::optional<SourceLinePart> line(const std::string& file, uint32_t line, uint32_t column) override;

private:
    struct Cursor;
    struct KeptLine {
        std::string file;
        uint32_t line;
        std::string text;  // the line's bytes from offset
        std::size_t offset;
        std::size_t size;  // the line's, or when not whole, the bytes read of it
        bool whole;
    };
    FileSystemProvider& provider_;
    std::vector<std::unique_ptr<Cursor>> open_;  // the most recently used last
    std::vector<KeptLine> kept_;                 // the most recently given last
};

}  // namespace vorn
