// Reporting: every diagnostic becomes a record in the result and its text goes to the sink.
// Counted errors let compilation go on; fatal ends unwind to the library's entry point.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "compile_state.h"

namespace vorn {

// A range of the current cleaned line, as offsets [begin, end); the reporter maps it back to
// the columns of the line as it is in the file.
struct Span {
    std::size_t begin;
    std::size_t end;
};

// The span of a part of the current cleaned line.
inline Span span_of(vorn::TextRange range) { return Span{range.begin, range.end}; }

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

// Records a diagnostic made elsewhere (not from a line's text) as report() records its own:
// the line observer is told, the result keeps it, and a counted error is counted.
void keep(CompileState& s, vorn::Diagnostic diagnostic);

// Adds 1 to the error count, which stops at its highest value instead of wrapping to 0.
void count_error(CompileState& s);

// Passes the diagnostics kept back for the line observer (CompileState::defer_diagnostics)
// on to it, and forgets them; else drops those kept past options.max_diagnostics while the
// line's warnings were looked for. Called once a line's warnings are checked.
void pass_on_diagnostics(CompileState& s);

// Sends a piece of output: into the buffer of a BufferedSink where it fits, else to the sink.
inline void send(CompileState& s, OutputKind kind, std::string_view text) { s.out->write(kind, text); }

// Sends the echo of a cleaned line: "[", the line and "]" with a line end, as one piece. The
// line stands at frame + 1, with its NUL at frame[length + 1]; frame[0] and the two bytes
// after the NUL are free, so that the piece is made in place when it goes to the sink itself.
inline void echo(CompileState& s, char* frame, std::size_t length) {
    if (char* at = s.out->claim(length + 3)) {
        at[0] = '[';
        if (length <= BufferedSink::ShortPiece) {
            for (std::size_t i = 0; i < length; ++i)
                at[i + 1] = frame[i + 1];
        } else {
            memcpy(at + 1, frame + 1, length);
        }
        at[length + 1] = ']';
        at[length + 2] = '\n';
        return;
    }
    frame[0] = '[';
    frame[length + 1] = ']';
    frame[length + 2] = '\n';
    s.out->write(OutputKind::Echo, std::string_view(frame, length + 3));
    frame[length + 1] = '\0';
}

// Sends a trace line, formatted.
void trace(CompileState& s, const char* format, ...) __attribute__((format(printf, 2, 3)));

// For tests only: gives a kind another severity from now on, so that a test can see how a
// warning or a note is reported before the table has one. The compiler never calls it.
void set_severity_for_test(DiagnosticKind kind, Severity severity);

// The status a kind ends the run with; 0 for a counted error.
int fatal_status(DiagnosticKind kind);

}  // namespace vorn
