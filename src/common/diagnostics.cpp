#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "line_reader.h"
#include "char_class.h"
#include "source_reader.h"
#include <vorn/warning_set.h>

namespace vorn {

namespace {

struct KindFacts {
    const char* name;
    Severity severity;
    int status;
    const char* vorn_text;
    const char* short_text;
};

// Not const only so that a test can weigh a kind differently (set_severity_for_test).
KindFacts Kinds[] = {
#define DIAGNOSTIC(id, kind, severity, status, vorn_text, short_text) \
    {kind, Severity::severity, status, vorn_text, short_text},
#include <vorn/diagnostics.def>
#undef DIAGNOSTIC
};

const KindFacts& facts(DiagnosticKind kind) { return Kinds[static_cast<int>(kind)]; }

// Off unless asked for: each is worth knowing, but fires on scripts that are fine as written.
constexpr DiagnosticKind OffByDefault[] = {DiagnosticKind::UnusedName,
                                           DiagnosticKind::SharedVariableNumber,
                                           DiagnosticKind::EmptyLabel};

std::string format_text(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char small[256];
    int length = vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (length < 0) {
        va_end(again);
        return text;
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(length));
    } else {
        text.resize(static_cast<std::size_t>(length) + 1);
        vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

// Where a span of the current cleaned line stands in the file: the cleaner drops
// backslashes and a long line comes in pieces, so both are mapped back.
}  // namespace

vorn::Location location_of(const CompileState& s, Span span) {
    vorn::Location where;
    SourceFile* file = s.open_files;
    if (!file)
        return where;
    where.file = s.result.files[file->index].path;
    where.line = file->line;
    const char* piece = piece_text(file);
    RawSpan raw = raw_span(span.begin, span.end,
                           [piece](std::size_t i) { return raw_offset(piece, i); });
    where.column = file->column + static_cast<uint32_t>(raw.begin) + 1;
    where.end_column = file->column + static_cast<uint32_t>(raw.end) + 1;
    return where;
}

namespace {

// The piece of the current line, which a diagnostic at a span of it stands on.
int32_t current_piece(const CompileState& s) { return s.open_files ? s.open_files->piece_index : -1; }

// Records the diagnostic and sends its text; returns its status (0 for a counted error). span:
// where on the current line it was found, for the explanations; nullptr for another place.
int record(CompileState& s, DiagnosticKind kind, vorn::Location where, const Span* span, int32_t piece,
           bool fatal, va_list args) {
    const KindFacts& kind_facts = facts(kind);
    va_list again;
    va_copy(again, args);
    Severity severity = kind_facts.severity;
    if (severity == Severity::Warning && s.options.warnings_as_errors.has(kind))
        severity = Severity::Error;
    const bool counted = severity == Severity::Error;
    vorn::Diagnostic diagnostic;
    diagnostic.kind = kind;
    diagnostic.severity = severity;
    diagnostic.fatal = fatal;
    diagnostic.status = fatal ? kind_facts.status : counted ? vorn::StatusErrors : vorn::StatusClean;
    diagnostic.where = std::move(where);
    diagnostic.running_line = s.line_number;
    diagnostic.source = current_source(s);
    diagnostic.piece = piece;
    diagnostic.vorn_text = format_text(kind_facts.vorn_text, args);
    diagnostic.text = format_text(kind_facts.short_text, again);
    va_end(again);
    if (!diagnostic.vorn_text.empty())
        send(s, OutputKind::Message, diagnostic.vorn_text);
    if (span && s.explainer) [[unlikely]]
        s.explainer(s, diagnostic, *span);
    keep(s, std::move(diagnostic));
    return kind_facts.status;
}

}  // namespace

// The cleaned line marks a string's quotes with bytes of its own; a text the user reads
// shows the quote the script has. (vorn's own texts keep the marks, as they always did.)
static void show_quotes(std::string& text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) == CleanOpenQuote || static_cast<unsigned char>(c) == CleanCloseQuote)
            c = '"';
}

static void show_quotes(vorn::Diagnostic& diagnostic) {
    show_quotes(diagnostic.text);
    for (vorn::DiagnosticNote& note : diagnostic.notes)
        show_quotes(note.text);
    for (vorn::Fix& fix : diagnostic.fixes)
        show_quotes(fix.description);
}

void keep(CompileState& s, vorn::Diagnostic diagnostic) {
    show_quotes(diagnostic);
    const bool counted = diagnostic.severity == Severity::Error && !diagnostic.fatal;
    if (s.options.line_observer && !s.defer_diagnostics)
        s.options.line_observer->diagnosed(diagnostic);
    // The warnings of a line add to what it reported, so while they are looked for every
    // diagnostic is kept.
    if ((s.options.keep_diagnostics || s.defer_diagnostics) &&
        (diagnostic.fatal || s.warnings || s.result.diagnostics.size() < s.options.max_diagnostics))
        s.result.diagnostics.push_back(std::move(diagnostic));
    if (counted)
        count_error(s);
}

int current_source(const CompileState& s) {
    return s.open_files ? static_cast<int>(s.open_files->index) : -1;
}

int fatal_status(DiagnosticKind kind) { return facts(kind).status; }

const char* kind_name(DiagnosticKind kind) { return facts(kind).name; }

Severity severity_of(DiagnosticKind kind) { return facts(kind).severity; }

const char* severity_name(Severity severity) {
    switch (severity) {
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        return "note";
    case Severity::Error:
        break;
    }
    return "error";
}

std::string escaped_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            static const char digits[] = "0123456789abcdef";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string location_text(const Location& where, const char* tool) {
    if (where.file.empty())
        return tool;
    std::string text = escaped_text(where.file);
    if (where.line > 0) {
        text += ":" + std::to_string(where.line);
        if (where.column > 0)
            text += ":" + std::to_string(where.column);
    }
    return text;
}

bool on_by_default(DiagnosticKind kind) {
    for (DiagnosticKind off : OffByDefault)
        if (off == kind)
            return false;
    return severity_of(kind) == Severity::Warning;
}

WarningSet WarningSet::all() {
    WarningSet set;
    for (std::size_t i = 0; i < DiagnosticKindCount; ++i) {
        auto kind = static_cast<DiagnosticKind>(i);
        if (severity_of(kind) == Severity::Warning)
            set.add(kind);
    }
    return set;
}

WarningSet WarningSet::defaults() {
    WarningSet set;
    for (std::size_t i = 0; i < DiagnosticKindCount; ++i)
        if (on_by_default(static_cast<DiagnosticKind>(i)))
            set.add(static_cast<DiagnosticKind>(i));
    return set;
}

std::optional<DiagnosticKind> warning_named(std::string_view name) {
    for (std::size_t i = 0; i < DiagnosticKindCount; ++i) {
        auto kind = static_cast<DiagnosticKind>(i);
        if (severity_of(kind) == Severity::Warning && name == kind_name(kind))
            return kind;
    }
    return std::nullopt;
}

void set_severity_for_test(DiagnosticKind kind, Severity severity) {
    Kinds[static_cast<int>(kind)].severity = severity;
}

Span span_of(const CompileState& s, const char* text, std::size_t length) {
    if (!s.open_files)
        return Span{0, 0};
    std::size_t begin = static_cast<std::size_t>(text - s.open_files->clean);
    return Span{begin, begin + length};
}

Span statement_span(const CompileState& s) {
    if (!s.open_files)
        return Span{0, 0};
    const char* line = s.open_files->clean;
    const char* start = skip_blanks(line);
    return span_of(s, start, strlen(start));
}

void count_error(CompileState& s) {
    if (s.error_count != UINT16_MAX)
        ++s.error_count;
}

void report(CompileState& s, DiagnosticKind kind, Span span, ...) {
    va_list args;
    va_start(args, span);
    record(s, kind, location_of(s, span), &span, current_piece(s), false, args);
    va_end(args);
}

void fail(CompileState& s, DiagnosticKind kind, Span span, ...) {
    va_list args;
    va_start(args, span);
    int status = record(s, kind, location_of(s, span), &span, current_piece(s), true, args);
    va_end(args);
    throw FatalEnd{status};
}

void report_at(CompileState& s, DiagnosticKind kind, const vorn::Location* where, ...) {
    va_list args;
    va_start(args, where);
    record(s, kind, *where, nullptr, -1, false, args);
    va_end(args);
}

void fail_at(CompileState& s, DiagnosticKind kind, const vorn::Location* where, ...) {
    va_list args;
    va_start(args, where);
    int status = record(s, kind, *where, nullptr, -1, true, args);
    va_end(args);
    throw FatalEnd{status};
}

void trace(CompileState& s, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    send(s, OutputKind::Trace, text);
}

void pass_on_diagnostics(CompileState& s) {
    std::vector<vorn::Diagnostic>& kept = s.result.diagnostics;
    if (s.defer_diagnostics) {
        for (const vorn::Diagnostic& diagnostic : kept)
            s.options.line_observer->diagnosed(diagnostic);
        kept.clear();
        return;
    }
    // The line's warnings have been looked for, so what was kept past the bound for them goes
    // (a fatal diagnostic, always the last, stays).
    const std::size_t bound = s.options.max_diagnostics;
    if (kept.size() > bound) {
        const bool fatal = kept.back().fatal;
        kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(bound), kept.end() - (fatal ? 1 : 0));
    }
}

}  // namespace vorn
