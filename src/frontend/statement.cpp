#include "statement.h"

#include <cstring>

#include "../codegen/code_buffer.h"
#include "../common/char_class.h"
#include "../common/compile_state.h"
#include "../common/exit_status.h"
#include "../common/messages.h"
#include "../common/number.h"
#include "../lists/lists.h"
#include "compile_file.h"
#include "frontend_messages.h"
#include "named_values.h"

// An argument has at most 99 characters.
constexpr int ArgumentSize = 100;

const char* const ConditionKeywordTable[ConditionKeywordCount] = {
    "Equal",          "NotEqual",        "LessThan",          "NotLessThan",
    "GreaterThan",    "NotGreaterThan",  "LessThanOrEqual",   "GreaterThanOrEqual",
};

int find_condition(const char* name) {
    for (int i = 0; i < ConditionKeywordCount; ++i)
        if (strcmp(ConditionKeywordTable[i], name) == 0)
            return i;
    return -1;
}

void trim_blanks(char* text) {
    const char* start = skip_blanks(text);
    std::size_t length = strlen(start);
    memmove(text, start, length + 1);
    while (length > 0 && is_blank(static_cast<unsigned char>(text[length - 1])))
        text[--length] = '\0';
}

static void report_wrong_count() { report_error(MSG_WRONG_ARG_COUNT, state.line_number); }

// Splits the text after '(' into exactly count arguments; false (reported) if it cannot.
static bool split_arguments(const char* text, int count, char (*args)[ArgumentSize]) {
    int index = 0;
    int length = 0;
    for (const char* p = text;; ++p) {
        char c = *p;
        if (c == ',' || c == ')' || c == '\0') {
            args[index][length] = '\0';
            // A line that ends before its ')' is short of arguments too.
            bool last = index == count - 1;
            if (c == '\0' || (c == ',' && last) || (c == ')' && !last)) {
                report_wrong_count();
                return false;
            }
            if (c == ')')
                return true;
            ++index;
            length = 0;
        } else if (length == ArgumentSize - 1) {
            report_error(MSG_ARGUMENT_TOO_LONG, index + 1, state.line_number);
            return false;
        } else {
            args[index][length++] = c;
        }
    }
}

static bool encode_number(const char* text) {
    int32_t value = 0;
    if (read_number(&text, &value) == NumberRead::OutOfRange) {
        report_error(MSG_NUMBER_RANGE, state.line_number);
        return false;
    }
    emit_number(value);
    return true;
}

static bool encode_event_param(const char* text) {
    int32_t value = 0;
    text = skip_blanks(text + 1);
    if (read_number(&text, &value) == NumberRead::OutOfRange) {
        report_error(MSG_NUMBER_RANGE, state.line_number);
        return false;
    }
    if (value < 1 || value > 3) {
        report_error(MSG_EVENT_PARAM_RANGE, static_cast<long>(value), state.line_number);
        return false;
    }
    emit_byte(ArgEventParam);
    emit_byte(static_cast<uint8_t>(value));
    return true;
}

// The text between the marks; the last character is dropped whatever it is.
static bool encode_string(const char* text) {
    uint16_t length = static_cast<uint16_t>(strlen(text) - 2);
    if (length > MaxStringLength) {
        report_error(MSG_STRING_TOO_LONG, state.line_number);
        return false;
    }
    emit_byte(ArgString);
    emit_byte(static_cast<uint8_t>(length));
    for (uint16_t i = 1; i <= length; ++i)
        emit_byte(static_cast<uint8_t>(text[i]));
    return true;
}

// Names are condition keywords first, then variables, then constants.
static bool encode_name(const char* name) {
    int index = find_condition(name);
    if (index >= 0) {
        emit_byte(ArgCondition);
        emit_byte(static_cast<uint8_t>(index));
        return true;
    }
    index = find_defvar(name);
    if (index >= 0) {
        emit_byte(ArgVariable);
        emit_word(state.defvar_table[index].value);
        return true;
    }
    index = find_defnum(name);
    if (index >= 0) {
        emit_number(state.defnum_table[index].value);
        return true;
    }
    report_error(MSG_UNKNOWN_ARGUMENT, name, state.line_number);
    return false;
}

static bool encode_argument(const char* text) {
    unsigned char first = static_cast<unsigned char>(text[0]);
    if (first == '-' || is_digit(first))
        return encode_number(text);
    if (first == '&')
        return encode_event_param(text);
    if (first == OpenQuoteMark)
        return encode_string(text);
    return encode_name(text);
}

void compile_arguments(const char* text, int arg_count) {
    const char* inside = text + 1;
    if (arg_count == 0) {
        if (*inside != ')')
            report_wrong_count();
        return;
    }
    char args[MaxArguments][ArgumentSize];
    if (!split_arguments(inside, arg_count, args))
        return;
    for (int i = 0; i < arg_count; ++i) {
        trim_blanks(args[i]);
        if (!encode_argument(args[i]))
            return;
    }
}

void compile_statement(const char* line) {
    char name[FirstWordSize];
    copy_first_word(name, skip_blanks(line));
    if (char* paren = strchr(name, '('))
        *paren = '\0';
    if (name[0] == '\0')
        return;
    int command = find_command(name);
    if (command < 0)
        fatal(ExitUnknownCommand, MSG_UNKNOWN_COMMAND, name, state.line_number);
    emit_byte(static_cast<uint8_t>(command));
    const char* paren = strchr(line, '(');
    if (!paren)
        fatal(ExitMissingParen, MSG_MISSING_PAREN, state.line_number);
    compile_arguments(paren, state.command_list[command].arg_count);
}
