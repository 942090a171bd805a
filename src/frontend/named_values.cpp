#include "named_values.h"

#include <cstdio>
#include <cstring>

#include "../common/char_class.h"
#include "../common/compile_state.h"
#include "../common/exit_status.h"
#include "../common/find_name.h"
#include "../common/messages.h"
#include "../common/number.h"
#include "frontend_messages.h"

// Both directive words are six letters long.
constexpr int DirectiveLength = 6;

static void add_name(NameEntry* table, uint16_t* count, int capacity, const char* too_many,
                     const char* name, int32_t value) {
    if (*count == capacity)
        fatal(ExitTooManyNames, "%s", too_many);
    NameEntry& entry = table[*count];
    snprintf(entry.name, NameSize, "%s", name);
    entry.value = static_cast<uint16_t>(value);
    ++*count;
}

void add_defvar(const char* name, int32_t value) {
    add_name(state.defvar_table, &state.defvar_count, MaxDefvars, MSG_TOO_MANY_DEFVARS, name, value);
}

void add_defnum(const char* name, int32_t value) {
    add_name(state.defnum_table, &state.defnum_count, MaxDefnums, MSG_TOO_MANY_DEFNUMS, name, value);
}

int find_defvar(const char* name) { return find_name(state.defvar_table, state.defvar_count, name); }

int find_defnum(const char* name) { return find_name(state.defnum_table, state.defnum_count, name); }

// The name and number that follow a definition's directive word.
struct Definition {
    char name[NameSize];
    bool has_name;
    bool name_too_long;
    NumberRead number_read;
    int32_t number;
};

static Definition read_definition(const char* line) {
    Definition definition = {};
    const char* start = skip_blanks(line + DirectiveLength);
    const char* end = skip_word(start);
    std::size_t length = static_cast<std::size_t>(end - start);
    definition.has_name = length > 0;
    definition.name_too_long = length >= NameSize;
    if (!definition.name_too_long)
        memcpy(definition.name, start, length);
    const char* number = skip_blanks(end);
    definition.number_read = definition.has_name ? read_number(&number, &definition.number)
                                                 : NumberRead::None;
    return definition;
}

void parse_defvar(const char* line) {
    Definition definition = read_definition(line);
    long number = definition.number_read == NumberRead::Ok ? definition.number : -1;
    if (definition.number_read == NumberRead::OutOfRange)
        report_error(MSG_NUMBER_RANGE, state.line_number);
    else if (static_cast<uint32_t>(number) > 255)
        report_error(MSG_DEFVAR_RANGE, number, state.line_number);
    else if (definition.name_too_long)
        report_error(MSG_NAME_TOO_LONG, state.line_number);
    else
        add_defvar(definition.name, static_cast<int32_t>(number));
}

void parse_defnum(const char* line) {
    Definition definition = read_definition(line);
    if (definition.number_read == NumberRead::None)
        report_error(MSG_DEFNUM_INCOMPLETE, state.line_number);
    else if (definition.number_read == NumberRead::OutOfRange)
        report_error(MSG_NUMBER_RANGE, state.line_number);
    else if (definition.name_too_long)
        report_error(MSG_NAME_TOO_LONG, state.line_number);
    else
        add_defnum(definition.name, definition.number);
}
