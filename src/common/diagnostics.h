// Reporting: every diagnostic becomes a record in the result and its text goes to the sink.
// Counted errors let compilation go on; fatal ends unwind to the library's entry point.
#pragma once

#include <cstdint>

#include "compile_state.h"

namespace vorn {

// A range of the current cleaned line, as offsets [begin, end); the reporter maps it back to
// the columns of the line as it is in the file.
struct Span {
    std::size_t begin;
    std::size_t end;
};

// The span from text (a pointer into the current cleaned line) over length bytes.
Span span_of(const CompileState& s, const char* text, std::size_t length);

// The current line's statement: from its first non-blank character to its end.
Span statement_span(const CompileState& s);

// Where a span of the current line stands in the file.
vorn::Location location_of(const CompileState& s, Span span);

// Index in the result's files of the file being read, or -1.
int current_source(const CompileState& s);

// A counted error at the current line: its text goes out, the error count goes up.
void report(CompileState& s, DiagnosticKind kind, Span span, ...);

// A fatal error at the current line.
[[noreturn]] void fail(CompileState& s, DiagnosticKind kind, Span span, ...);

// A fatal error at an explicit place (a list line, a file as a whole).
[[noreturn]] void fail_at(CompileState& s, DiagnosticKind kind, const vorn::Location* where, ...);

// A counted error at an explicit place.
void report_at(CompileState& s, DiagnosticKind kind, const vorn::Location* where, ...);

// Adds 1 to the error count, which stops at its highest value instead of wrapping to 0.
void count_error(CompileState& s);

// Sends a trace line, formatted.
void trace(CompileState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The status a kind ends the run with; 0 for a counted error.
int fatal_status(DiagnosticKind kind);

}  // namespace vorn
