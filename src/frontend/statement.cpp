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

// Checks the split arguments against the command's count, in the order the compiler meets
// them along the line: an argument over ArgumentSize - 1 bytes, then a ',' after the last
// argument, a ')' before it or the line's end. False (reported) if they do not fit.
static bool check_arguments(CompileState& s, const vorn::LineParts& parts, int count) {
    Span call = span_of(parts.call);
    if (count == 0) {
        const vorn::Argument& first = parts.arguments[0];
        if (!first.text.empty() || first.end != vorn::ArgumentEnd::Paren) {
            report(s, DiagnosticKind::WrongArgCount, call, s.line_number);
            return false;
        }
        return true;
    }
    for (uint32_t i = 0; i < parts.argument_count; ++i) {
        const vorn::Argument& argument = parts.arguments[i];
        if (argument.text.size() >= ArgumentSize) {
            report(s, DiagnosticKind::ArgumentTooLong, span_of(argument.text),
                   static_cast<int>(i) + 1, s.line_number);
            return false;
        }
        // A line that ends before its ')' is short of arguments too.
        bool last = static_cast<int>(i) == count - 1;
        if (argument.end == vorn::ArgumentEnd::LineEnd ||
            (argument.end == vorn::ArgumentEnd::Comma && last) ||
            (argument.end == vorn::ArgumentEnd::Paren && !last))
            break;
        if (argument.end == vorn::ArgumentEnd::Paren)
            return true;
    }
    report(s, DiagnosticKind::WrongArgCount, call, s.line_number);
    return false;
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

static bool encode_argument(CompileState& s, const char* text, vorn::ArgumentForm form, Span span) {
    switch (form) {
    case vorn::ArgumentForm::Number:
        return encode_number(s, text, span);
    case vorn::ArgumentForm::EventParam:
        return encode_event_param(s, text, span);
    case vorn::ArgumentForm::String:
        return encode_string(s, text, span);
    case vorn::ArgumentForm::Name:
        break;
    }
    return encode_name(s, text, span);
}

// A statement with an error still uses the names its writer gave it: with uses recorded,
// the defined names among its arguments from the first one, that were not encoded, count as
// used (an unused-name warning there would only mislead).
[[gnu::cold]] static void note_names_left(CompileState& s, const char* line, uint32_t first) {
    const vorn::LineParts& parts = s.line;
    for (uint32_t i = first; i < parts.argument_count; ++i) {
        vorn::TextRange value = parts.arguments[i].value;
        if (parts.arguments[i].form != vorn::ArgumentForm::Name || value.size() == 0 || value.size() >= ArgumentSize)
            continue;
        char text[ArgumentSize];
        memcpy(text, line + value.begin, value.size());
        text[value.size()] = '\0';
        if (int index = find_defvar(s, text); index >= 0)
            note_value_use(s, vorn::UseKind::Variable, index, span_of(value));
        else if (int constant = find_defnum(s, text); constant >= 0)
            note_value_use(s, vorn::UseKind::Constant, constant, span_of(value));
    }
}

// Encodes the arguments of the statement in s.line, after checking their count.
static void compile_arguments(CompileState& s, const char* line, int arg_count) {
    const vorn::LineParts& parts = s.line;
    if (!check_arguments(s, parts, arg_count)) {
        if (s.uses) [[unlikely]]
            note_names_left(s, line, 0);
        return;
    }
    for (int i = 0; i < arg_count; ++i) {
        vorn::TextRange value = parts.arguments[i].value;
        // The work buffer: a checked argument, and so its value, is shorter than it.
        char text[ArgumentSize];
        memcpy(text, line + value.begin, value.size());
        text[value.size()] = '\0';
        if (!encode_argument(s, text, parts.arguments[i].form, span_of(value))) {
            if (s.uses) [[unlikely]]
                note_names_left(s, line, static_cast<uint32_t>(i) + 1);
            return;
        }
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
    const vorn::LineParts& parts = s.line;
    if (parts.command.empty())
        return;
    char name[FirstWordSize];
    memcpy(name, line + parts.command.begin, parts.command.size());
    name[parts.command.size()] = '\0';
    uint16_t line_start = s.code_pos;
    int command = s.lists().find_command(name);
    if (command < 0) {
        if (s.uses) [[unlikely]]
            note_names_left(s, line, 0);
        return fail_statement(s, DiagnosticKind::UnknownCommand, span_of(parts.command),
                              line_start, name);
    }
    if (s.uses) [[unlikely]]
        note_use(s, vorn::UseKind::Command, command, span_of(parts.command));
    emit_byte(s, static_cast<uint8_t>(command));
    if (!parts.has_paren)
        return fail_statement(s, DiagnosticKind::MissingParen, statement_span(s), line_start, nullptr);
    compile_arguments(s, line, s.lists().commands[command].arg_count);
}

}  // namespace vorn
