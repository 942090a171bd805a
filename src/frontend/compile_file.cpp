#include "compile_file.h"

#include <cstring>

#include "../common/char_class.h"
#include "../common/diagnostics.h"
#include <vorn/language.h>
#include "../common/source_reader.h"
#include "labels.h"
#include "named_values.h"
#include "preprocess.h"
#include "statement.h"
#include "uses.h"

namespace vorn {

#define MSG_COMPILING "Compiling %s:\n"

static void include_file(CompileState& s, const char* rest) {
    const char* start = skip_blanks(rest);
    char name[FirstWordSize];
    std::size_t length = copy_first_word(name, start);
    Span name_span = span_of(s, start, length);
    if (length == 0)
        report(s, DiagnosticKind::MissingFileName, statement_span(s), s.line_number);
    else if (length >= FirstWordSize)
        report(s, DiagnosticKind::FileNameTooLong, name_span, s.line_number);
    else if (is_open_source(s, name))
        report(s, DiagnosticKind::IncludesItself, name_span, name, s.line_number);
    else if (s.include_depth >= MaxIncludeDepth)
        report(s, DiagnosticKind::IncludesTooDeep, name_span, s.line_number);
    else
        compile_file(s, name, &name_span);
}

// Hands a line that starts with neither white space nor a digit to its directive, with the
// rest of the line after the directive's word.
static void dispatch_directive(CompileState& s, const char* line) {
    char word[FirstWordSize];
    std::size_t length = copy_first_word(word, line);
    const char* rest = line + length;
    std::size_t kept = strlen(word);
    if (strcmp(word, DefvarWord) == 0)
        parse_defvar(s, rest);
    else if (strcmp(word, DefnumWord) == 0)
        parse_defnum(s, rest);
    else if (strcmp(word, IncludeWord) == 0)
        include_file(s, rest);
    else if (word[kept - 1] == EventLabelEnd)
        define_event_label(s, word);
    else
        report(s, DiagnosticKind::UnknownDirective, span_of(s, line, length), s.line_number);
}

static void dispatch_line(CompileState& s, const char* line) {
    unsigned char first = static_cast<unsigned char>(line[0]);
    if (first == '\0')
        return;
    if (is_blank(first))
        compile_statement(s, line);
    else if (is_digit(first))
        define_place(s, line);
    else
        dispatch_directive(s, line);
}

// A file that cannot be opened or read ends the run; checking with keep_going skips an
// include that cannot be opened instead.
static void cannot_read(CompileState& s, const std::string& path, const Span* include_name) {
    if (!include_name) {
        const vorn::Location whole_file{path, 0, 0, 0};
        fail_at(s, DiagnosticKind::CannotOpenFile, &whole_file, path.c_str());
    }
    if (!s.options.keep_going)
        fail(s, DiagnosticKind::CannotOpenFile, *include_name, path.c_str());
    report(s, DiagnosticKind::CannotOpenFile, *include_name, path.c_str());
}

// Keeps what a tool needs to know of a compiled piece: where it is and, once it is compiled,
// the code it emitted. It is kept before the lines of any file it includes.
static std::size_t record_line(CompileState& s, SourceFile* file) {
    s.result.lines.push_back(vorn::LineRecord{file->index, file->line, file->column + 1,
                                              s.line_number, s.code_pos, s.code_pos});
    file->piece_index = static_cast<int32_t>(s.result.lines.size() - 1);
    return s.result.lines.size() - 1;
}

void compile_file(CompileState& s, const std::string& path, const Span* include_name) {
    trace(s, MSG_COMPILING, path.c_str());
    SourceFile* file = open_source(s, path);
    if (!file) {
        record_unopened(s, path);
        return cannot_read(s, path, include_name);
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
    for (;;) {
        std::size_t length = next_piece(file);
        if (file->failed) {
            // Off the stack first, so that an include's error stands at its include line.
            --s.include_depth;
            close_source(s, file);
            return cannot_read(s, path, include_name);
        }
        if (length == 0)
            break;
        // A line longer than a piece goes on in the next piece, further along the same line.
        if (line_ended) {
            ++file->line;
            file->column = 0;
        } else {
            file->column += static_cast<uint32_t>(previous);
        }
        previous = length;
        line_ended = file->piece[length - 1] == '\n';
        echo(s, frame, preprocess_line(file->piece, line));
        if (s.options.record_lines) {
            std::size_t record = record_line(s, file);
            dispatch_line(s, line);
            s.result.lines[record].code_end = s.code_pos;
        } else {
            dispatch_line(s, line);
        }
        ++s.line_number;
    }
    --s.include_depth;
    close_source(s, file);
}

}  // namespace vorn
