// What a compile finds wrong: the kinds (one row each in diagnostics.def), where, and the texts.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

enum class DiagnosticKind : uint8_t {
#define DIAGNOSTIC(id, kind, severity, status, vorn_text, short_text) id,
#include "diagnostics.def"
#undef DIAGNOSTIC
};

// The kind's name as tools show it, e.g. "unknown-command".
const char* kind_name(DiagnosticKind kind);

// How much a diagnostic weighs. Only errors are counted: a warning or a note changes neither
// the error count nor the status, and the compiled file is written as without it.
enum class Severity : uint8_t { Error, Warning, Note };

// Each kind's severity, from its row.
Severity severity_of(DiagnosticKind kind);

// "error", "warning" or "note", as GNU tools write them.
const char* severity_name(Severity severity);

constexpr std::size_t DiagnosticKindCount = 0
#define DIAGNOSTIC(id, kind, severity, status, vorn_text, short_text) +1
#include "diagnostics.def"
#undef DIAGNOSTIC
    ;

// A place in a file. Lines and columns count from 1; column and end_column count bytes of the
// line as it is in the file, and end_column is one past the last byte. line 0 means the file as
// a whole, column 0 the line as a whole.
struct Location {
    std::string file;
    uint32_t line = 0;
    uint32_t column = 0;
    uint32_t end_column = 0;
};


// A remark that goes with a diagnostic: another place it concerns, and what is there.
struct DiagnosticNote {
    Location where;
    std::string text;
};

// One change to a file: the bytes of range (one line, column to end_column; an empty range
// inserts) replaced with new_text, which may hold line ends.
struct Edit {
    Location range;
    std::string new_text;
};

// A change that makes a line say what its writer meant: one or more edits, and what it does
// ("replace 'Teleprt' with 'Teleport'"). A fix is safe when that meaning is certain: a tool
// may make it without asking.
struct Fix {
    std::string description;
    std::vector<Edit> edits;
    bool safe = false;
};

struct Diagnostic {
    DiagnosticKind kind;
    Severity severity = Severity::Error;
    // A fatal diagnostic ended the run; status is what the run ends with because of it (for a
    // counted error StatusErrors, for a warning or a note StatusClean).
    bool fatal = false;
    int status = 0;
    Location where;
    // The running line number that vorn's texts quote: it runs on across included files.
    uint16_t running_line = 0;
    std::string text;
    std::string vorn_text;
    // Index in the result's files of the file being read when it was found (for an include
    // that cannot be opened, the includer); -1 when no file was open.
    int source = -1;
    // With options.record_lines, the index in CompileResult::lines of the piece the
    // diagnostic stands on; -1 for one that belongs to no line (the lists, a file as a whole,
    // the output) or when no lines are recorded.
    int32_t piece = -1;
    // Other places the diagnostic concerns (the first definition of a redefined name, ...).
    std::vector<DiagnosticNote> notes;
    // What would make the line right, where the compiler can tell (CompileOptions::explain).
    std::vector<Fix> fixes;
};

// A file's text with fixes made, and for each fix whether it was.
struct FixedText {
    std::string text;
    std::vector<bool> made;
};

// Makes in text, the content of file, every fix all of whose edits are of that file, fit its
// lines and overlap no edit made before them (the same fix twice included); the others are
// left out.
FixedText apply_fixes(std::string_view text, const std::string& file, const std::vector<const Fix*>& fixes);

// text with every control byte (below 0x20, and 0x7F) written as \xNN, as GCC shows them, so
// that a file name or a text taken from a script cannot send commands to a terminal.
std::string escaped_text(std::string_view text);

// "FILE:LINE:COLUMN" as GNU tools write it, leaving out what the location does not have;
// tool stands in for a location without a file. The file name's control bytes are escaped.
std::string location_text(const Location& where, const char* tool);

// ---- The GNU form, as GCC writes it ---------------------------------------------------------

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

// The places a file was included from, innermost first: each includer and its include line
// (column 0). Empty for a top script, a list, or no file.
using IncludeChain = std::vector<Location>;

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

// A set of warning kinds: those a compile looks for, or those a tool counts as errors.
class WarningSet {
public:
    bool has(DiagnosticKind kind) const { return bits_.test(static_cast<std::size_t>(kind)); }
    bool any() const { return bits_.any(); }
    void add(DiagnosticKind kind) { bits_.set(static_cast<std::size_t>(kind)); }
    void remove(DiagnosticKind kind) { bits_.reset(static_cast<std::size_t>(kind)); }
    bool same_as(const WarningSet& other) const { return bits_ == other.bits_; }

    // The warnings on unless turned off, and every warning (-Wall).
    static WarningSet defaults();
    static WarningSet all();

private:
    std::bitset<DiagnosticKindCount> bits_;
};

// Whether a kind is on without being asked for (-Wall turns on the others).
bool on_by_default(DiagnosticKind kind);

// The warning kind of that name, e.g. "redefined-name"; nothing for another name or a kind
// that is no warning.
std::optional<DiagnosticKind> warning_named(std::string_view name);

// What the -W options of a tool ask for: the warnings to look for, and those to count as errors.
struct WarningOptions {
    WarningSet enabled = WarningSet::defaults();
    WarningSet errors;
    bool all_errors = false;  // -Werror
};

// Applies one option (the text after "-W": "all", "error", "error=NAME", "no-NAME" or NAME);
// an error text for an option it does not know.
std::optional<std::string> apply_warning_option(WarningOptions& options, std::string_view option);

// Every warning name, one a line ("  NAME", "(off by default)" after those -Wall turns on),
// for the tools' --help.
std::string warning_names_help();

// The option that controls a warning, as GCC writes it after the text: " [-Wname]", or
// " [-Werror=name]" for one counted as an error; empty for any other diagnostic.
std::string warning_option_text(const Diagnostic& d);

// Whether a warning of this kind counts as an error under options.
bool counts_as_error(const WarningOptions& options, DiagnosticKind kind);

}  // namespace vorn
