// What a compile finds wrong: the kinds (one row each in diagnostics.def), where, and the texts.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The places a file was included from, innermost first: each includer and its include line
// (column 0). Empty for a top script, a list, or no file.
using IncludeChain = std::vector<Location>;


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

// text with every control byte (below 0x20, and 0x7F) written as \xNN, as GCC shows them, so
// that a file name or a text taken from a script cannot send commands to a terminal.
std::string escaped_text(std::string_view text);

// "FILE:LINE:COLUMN" as GNU tools write it, leaving out what the location does not have;
// tool stands in for a location without a file. The file name's control bytes are escaped.
std::string location_text(const Location& where, const char* tool);

}  // namespace vorn
