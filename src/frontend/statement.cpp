#include "statement.h"

#include <cstring>

#include "../codegen/code_buffer.h"
#include "../common/char_class.h"
#include "../common/diagnostics.h"
#include <vorn/language.h>
#include "../common/number.h"
#include "../lists/lists.h"
#include "named_values.h"
#include "uses.h"

namespace vorn {

// One argument as split off the statement, and where its text starts in the line.
struct ArgumentText {
    char text[ArgumentSize];
    const char* at;
};

// Splits the text after '(' into exactly count arguments; false (reported) if it cannot.
static bool split_arguments(CompileState& s, const char* text, int count, ArgumentText* args) {
    int index = 0;
    int length = 0;
    args[0].at = text;
    Span arguments = span_of(s, text - 1, strlen(text - 1));
    for (const char* p = text;; ++p) {
        char c = *p;
        if (c == ',' || c == ')' || c == '\0') {
            args[index].text[length] = '\0';
            // A line that ends before its ')' is short of arguments too.
            bool last = index == count - 1;
            if (c == '\0' || (c == ',' && last) || (c == ')' && !last)) {
                report(s, DiagnosticKind::WrongArgCount, arguments, s.line_number);
                return false;
            }
            if (c == ')')
                return true;
            ++index;
            length = 0;
            args[index].at = p + 1;
        } else if (length == ArgumentSize - 1) {
            const char* end = args[index].at + strcspn(args[index].at, ",)");
            report(s, DiagnosticKind::ArgumentTooLong,
                   span_of(s, args[index].at, static_cast<std::size_t>(end - args[index].at)),
                   index + 1, s.line_number);
            return false;
        } else {
            args[index].text[length++] = c;
        }
    }
}

static bool encode_number(CompileState& s, const char* text, Span span) {
    int32_t value = 0;
    if (read_number(&text, &value) == NumberRead::OutOfRange) {
        report(s, DiagnosticKind::NumberRange, span, s.line_number);
        return false;
    }
    emit_number(s, value);
    return true;
}

static bool encode_event_param(CompileState& s, const char* text, Span span) {
    int32_t value = 0;
    text = skip_blanks(text + 1);
    if (read_number(&text, &value) == NumberRead::OutOfRange) {
        report(s, DiagnosticKind::NumberRange, span, s.line_number);
        return false;
    }
    if (value < FirstEventParam || value > LastEventParam) {
        report(s, DiagnosticKind::EventParamRange, span, static_cast<long>(value), s.line_number);
        return false;
    }
    emit_byte(s, ArgEventParam);
    emit_byte(s, static_cast<uint8_t>(value));
    return true;
}

// The text between the marks; the last character is dropped whatever it is.
static bool encode_string(CompileState& s, const char* text, Span span) {
    uint16_t length = static_cast<uint16_t>(strlen(text) - 2);
    if (length > MaxStringLength) {
        report(s, DiagnosticKind::StringTooLong, span, s.line_number);
        return false;
    }
    emit_byte(s, ArgString);
    emit_byte(s, static_cast<uint8_t>(length));
    for (uint16_t i = 1; i <= length; ++i)
        emit_byte(s, static_cast<uint8_t>(text[i]));
    return true;
}

// Names are condition keywords first, then variables, then constants.
static bool encode_name(CompileState& s, const char* name, Span span) {
    int index = find_condition(name);
    if (index >= 0) {
        if (s.uses) [[unlikely]]
            note_use(s, vorn::UseKind::Condition, index, span);
        emit_byte(s, ArgCondition);
        emit_byte(s, static_cast<uint8_t>(index));
        return true;
    }
    index = find_defvar(s, name);
    if (index >= 0) {
        if (s.uses) [[unlikely]]
            note_value_use(s, vorn::UseKind::Variable, index, span);
        emit_byte(s, ArgVariable);
        emit_word(s, s.tables->defvars[index].value);
        return true;
    }
    index = find_defnum(s, name);
    if (index >= 0) {
        if (s.uses) [[unlikely]]
            note_value_use(s, vorn::UseKind::Constant, index, span);
        emit_number(s, s.tables->defnums[index].value);
        return true;
    }
    report(s, DiagnosticKind::UnknownArgument, span, name, s.line_number);
    return false;
}

static bool encode_argument(CompileState& s, const char* text, Span span) {
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (first == '-' || is_digit(first))
        return encode_number(s, text, span);
    if (first == '&')
        return encode_event_param(s, text, span);
    if (first == CleanOpenQuote)
        return encode_string(s, text, span);
    return encode_name(s, text, span);
}

void compile_arguments(CompileState& s, const char* text, int arg_count) {
    const char* inside = text + 1;
    if (arg_count == 0) {
        if (*inside != ')')
            report(s, DiagnosticKind::WrongArgCount, span_of(s, text, strlen(text)), s.line_number);
        return;
    }
    ArgumentText args[MaxArguments];
    if (!split_arguments(s, inside, arg_count, args))
        return;
    for (int i = 0; i < arg_count; ++i) {
        std::size_t skipped = trim_blanks(args[i].text);
        Span span = span_of(s, args[i].at + skipped, strlen(args[i].text));
        if (!encode_argument(s, args[i].text, span))
            return;
    }
}

// An unknown command or a missing '(' ends the run; checking with keep_going skips the line
// instead, taking back the code it emitted.
static void fail_statement(CompileState& s, DiagnosticKind kind, Span span, uint16_t line_start,
                           const char* name) {
    if (!s.options.keep_going) {
        if (name)
            fail(s, kind, span, name, s.line_number);
        fail(s, kind, span, s.line_number);
    }
    s.code_pos = line_start;
    if (name)
        report(s, kind, span, name, s.line_number);
    else
        report(s, kind, span, s.line_number);
}

void compile_statement(CompileState& s, const char* line) {
    const char* word = skip_blanks(line);
    char name[FirstWordSize];
    copy_first_word(name, word);
    if (char* paren = strchr(name, '('))
        *paren = '\0';
    if (name[0] == '\0')
        return;
    uint16_t line_start = s.code_pos;
    int command = s.lists().find_command(name);
    if (command < 0)
        return fail_statement(s, DiagnosticKind::UnknownCommand, span_of(s, word, strlen(name)),
                              line_start, name);
    if (s.uses) [[unlikely]]
        note_command(s, command, word, name);
    emit_byte(s, static_cast<uint8_t>(command));
    const char* paren = strchr(line, '(');
    if (!paren)
        return fail_statement(s, DiagnosticKind::MissingParen, statement_span(s), line_start, nullptr);
    compile_arguments(s, paren, s.lists().commands[command].arg_count);
}

}  // namespace vorn
