#include "compile_file.h"

#include <cstdio>
#include <cstring>

#include "../common/char_class.h"
#include "../common/compile_state.h"
#include "../common/exit_status.h"
#include "../common/messages.h"
#include "../common/source_reader.h"
#include "frontend_messages.h"
#include "labels.h"
#include "named_values.h"
#include "preprocess.h"
#include "statement.h"

// The file name of an include starts at the line's ninth character: the directive's seven
// letters and one separator come first.
constexpr std::size_t IncludeNameStart = 8;

std::size_t copy_first_word(char* word, const char* text) {
    std::size_t length = static_cast<std::size_t>(skip_word(text) - text);
    std::size_t kept = length < FirstWordSize ? length : FirstWordSize - 1;
    memcpy(word, text, kept);
    word[kept] = '\0';
    return length;
}

static void include_file(const char* line) {
    if (strlen(line) < IncludeNameStart) {
        report_error(MSG_MISSING_FILE_NAME, state.line_number);
        return;
    }
    char name[FirstWordSize];
    std::size_t length = copy_first_word(name, skip_blanks(line + IncludeNameStart));
    if (length == 0)
        report_error(MSG_MISSING_FILE_NAME, state.line_number);
    else if (length >= FirstWordSize)
        report_error(MSG_FILE_NAME_TOO_LONG, state.line_number);
    else if (is_open_source(name))
        report_error(MSG_INCLUDES_ITSELF, name, state.line_number);
    else if (state.include_depth >= MaxIncludeDepth)
        report_error(MSG_INCLUDES_TOO_DEEP, state.line_number);
    else
        compile_file(name);
}

// Hands a line that starts with neither white space nor a digit to its directive.
static void dispatch_directive(const char* line) {
    char word[FirstWordSize];
    copy_first_word(word, line);
    std::size_t length = strlen(word);
    if (strcmp(word, "defvar") == 0)
        parse_defvar(line);
    else if (strcmp(word, "defnum") == 0)
        parse_defnum(line);
    else if (strcmp(word, "include") == 0)
        include_file(line);
    else if (word[length - 1] == ':')
        define_event_label(word);
    else
        report_error(MSG_UNKNOWN_DIRECTIVE, state.line_number);
}

static void dispatch_line(const char* line) {
    unsigned char first = static_cast<unsigned char>(line[0]);
    if (first == '\0')
        return;
    if (is_blank(first))
        compile_statement(line);
    else if (is_digit(first))
        define_place(line);
    else
        dispatch_directive(line);
}

// An echo this short costs less byte by byte than as one block write.
constexpr std::size_t ShortEcho = 16;

// Prints the cleaned line between brackets. The line sits in a frame with a byte free before
// it and two after its end, so the whole echo goes out in one write. The compiler has one
// thread, so stdio's lock is not needed.
static void echo_line(char* frame, std::size_t length) {
    char* line = frame + 1;
    frame[0] = '[';
    line[length] = ']';
    line[length + 1] = '\n';
    if (length + 3 <= ShortEcho) {
        for (std::size_t i = 0; i < length + 3; ++i)
            putc_unlocked(frame[i], stdout);
    } else {
        fwrite_unlocked(frame, 1, length + 3, stdout);
    }
    line[length] = '\0';
}

[[noreturn]] static void cannot_read(const char* path) {
    fatal(ExitCannotOpenScript, MSG_CANNOT_OPEN_FILE, path);
}

void compile_file(const char* path) {
    printf(MSG_COMPILING, path);
    SourceFile* file = open_source(path);
    if (!file)
        cannot_read(path);
    ++state.include_depth;
    char frame[1 + SourceLineSize + 2];
    char* line = frame + 1;
    for (;;) {
        std::size_t length = read_piece(file, line, SourceLineSize);
        if (file->failed)
            cannot_read(path);
        if (length == 0)
            break;
        echo_line(frame, preprocess_line(line));
        dispatch_line(line);
        ++state.line_number;
    }
    --state.include_depth;
    close_source(file);
}
