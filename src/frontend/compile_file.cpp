#include "compile_file.h"

#include <cstring>

#include "../common/char_class.h"
#include "../common/diagnostics.h"
#include <vorn/language.h>
#include "../common/source_reader.h"
#include "labels.h"
#include "line_grammar.h"
#include "named_values.h"
#include "statement.h"
#include "uses.h"
#include "warnings.h"

namespace vorn {

#define MSG_COMPILING "Compiling %s:\n"

static void include_file(CompileState& s, const char* line) {
    vorn::TextRange name_range = s.line.include_name;
    Span name_span = span_of(name_range);
    if (name_range.empty()) {
        report(s, DiagnosticKind::MissingFileName, statement_span(s), s.line_number);
        return;
    }
    if (name_range.size() >= FirstWordSize) {
        report(s, DiagnosticKind::FileNameTooLong, name_span, s.line_number);
        return;
    }
    char name[FirstWordSize];
    memcpy(name, line + name_range.begin, name_range.size());
    name[name_range.size()] = '\0';
    if (is_open_source(s, name))
        report(s, DiagnosticKind::IncludesItself, name_span, name, s.line_number);
    else if (s.include_depth >= MaxIncludeDepth)
        report(s, DiagnosticKind::IncludesTooDeep, name_span, s.line_number);
    else
        compile_file(s, name, &name_span);
}

// Hands a cleaned line, parsed into s.line, to the handler of its kind, which reads its parts
// from there.
static void dispatch_parsed(CompileState& s, const char* line) {
    switch (s.line.kind) {
    case vorn::LineKind::Blank:
        return;
    case vorn::LineKind::Statement:
        return compile_statement(s, line);
    case vorn::LineKind::Place:
        return define_place(s, line);
    case vorn::LineKind::EventLabel:
        return define_event_label(s, line);
    case vorn::LineKind::Defvar:
        return parse_defvar(s, line);
    case vorn::LineKind::Defnum:
        return parse_defnum(s, line);
    case vorn::LineKind::Include:
        return include_file(s, line);
    case vorn::LineKind::UnknownDirective:
        return report(s, DiagnosticKind::UnknownDirective, span_of(s.line.first_word),
                      s.line_number);
    }
}

static void dispatch_line(CompileState& s, const char* line, std::size_t length) {
    // Most lines of a large script are comments and blank lines: they end here.
    if (length == 0)
        return;
    parse_cleaned_line(line, length, &s.line);
    dispatch_parsed(s, line);
}

// A file that cannot be opened or read ends the run; checking with keep_going skips an
// include that cannot be opened instead.
static void cannot_read(CompileState& s, const std::string& path, const Span* include_name,
                        vorn::OpenRefusal refusal = vorn::OpenRefusal::None) {
    DiagnosticKind kind = refusal == vorn::OpenRefusal::NotRegularFile ? DiagnosticKind::NotRegularFile
                          : refusal == vorn::OpenRefusal::TooLarge     ? DiagnosticKind::FileTooLarge
                                                                       : DiagnosticKind::CannotOpenFile;
    // file-too-large's text states the size bound in MiB; the others take the path alone.
    static_assert(vorn::FileSystemProvider::MaxRegularFileSize % (1u << 20) == 0);
    const int bound_mib = static_cast<int>(vorn::FileSystemProvider::MaxRegularFileSize >> 20);
    if (!include_name) {
        const vorn::Location whole_file{path, 0, 0, 0};
        fail_at(s, kind, &whole_file, path.c_str(), bound_mib);
    }
    if (!s.options.keep_going)
        fail(s, kind, *include_name, path.c_str(), bound_mib);
    report(s, kind, *include_name, path.c_str(), bound_mib);
}

// Keeps what a tool needs to know of a compiled piece: where it is and, once it is compiled,
// the code it emitted. It is kept before the lines of any file it includes.
static std::size_t record_line(CompileState& s, SourceFile* file) {
    s.result.lines.push_back(vorn::LineRecord{file->index, file->line, file->column + 1,
                                              s.line_number, s.code_pos, s.code_pos});
    file->piece_index = static_cast<int32_t>(s.result.lines.size() - 1);
    return s.result.lines.size() - 1;
}

// Tells the observer, if there is one, of a piece about to be compiled.
static void tell_observer(CompileState& s, const SourceFile* file) {
    const vorn::LineRecord record{file->index, file->line, file->column + 1,
                                  s.line_number, s.code_pos, s.code_pos};
    s.options.line_observer->reached(record, s.code, s.result);
}

// Dispatches a line that a tool watches: it records the piece and its code, and looks for
// the warnings of the line once it is compiled.
static void dispatch_watched(CompileState& s, SourceFile* file, const char* line, std::size_t cleaned,
                             std::size_t length) {
    std::size_t record = s.options.record_lines ? record_line(s, file) : 0;
    if (!s.warnings) {
        dispatch_line(s, line, cleaned);
        s.result.lines[record].code_end = s.code_pos;
        return;
    }
    // Parsed here even when blank, so that the warnings see this line's kind; they read its
    // parts from s.line, which no handler changes (an include's lines parse over it, and
    // an include has no warnings of its own).
    parse_cleaned_line(line, cleaned, &s.line);
    LineMark mark = mark_line(s, file, length);
    dispatch_parsed(s, line);
    if (s.options.record_lines)
        s.result.lines[record].code_end = s.code_pos;
    check_line(s, file, mark);
    pass_on_diagnostics(s);
}

void compile_file(CompileState& s, const std::string& path, const Span* include_name) {
    trace(s, MSG_COMPILING, path.c_str());
    SourceFile* file = open_source(s, path);
    if (!file) {
        record_unopened(s, path);
        return cannot_read(s, path, include_name, s.provider.refusal());
    }
    if (include_name && s.uses) [[unlikely]]
        note_include(s, file, *include_name);
    ++s.include_depth;
    // The cleaned line, with a byte free before it and two after its end for the echo.
    char frame[1 + SourceLineSize + 2];
    char* line = frame + 1;
    file->clean = line;
    std::size_t previous = 0;
    bool line_ended = true;
    // What a tool asked for stays the same through the compile: looked at once, not per line.
    const bool can_stop = static_cast<bool>(s.options.stop);
    const bool observed = s.options.line_observer != nullptr;
    const bool watched = s.options.record_lines || s.warnings;
    for (;;) {
        std::size_t cleaned = 0;
        std::size_t length = next_clean_piece(file, line, &cleaned);
        if (file->failed) {
            // A device or FIFO read past the provider's bound for it is too large, not unread.
            const vorn::OpenRefusal why =
                file->input->over_bound() ? vorn::OpenRefusal::TooLarge : vorn::OpenRefusal::None;
            // Off the stack first, so that an include's error stands at its include line.
            --s.include_depth;
            close_source(s, file);
            return cannot_read(s, path, include_name, why);
        }
        if (length == 0)
            break;
        // The entry point closes every open file.
        if (can_stop && s.line_number % StopCheckLines == 0 && s.options.stop()) [[unlikely]]
            throw StopRequested{};
        // A line longer than a piece goes on in the next piece, further along the same line.
        if (line_ended) {
            ++file->line;
            file->column = 0;
        } else {
            file->column += static_cast<uint32_t>(previous);
        }
        previous = length;
        line_ended = file->piece[length - 1] == '\n';
        echo(s, frame, cleaned);
        if (observed) [[unlikely]]
            tell_observer(s, file);
        if (watched) [[unlikely]]
            dispatch_watched(s, file, line, cleaned, length);
        else
            dispatch_line(s, line, cleaned);
        ++s.line_number;
    }
    --s.include_depth;
    if (s.warnings) [[unlikely]]
    {
        check_file_end(s, static_cast<int>(file->index));
        pass_on_diagnostics(s);
    }
    close_source(s, file);
}

}  // namespace vorn
