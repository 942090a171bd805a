#include "named_values.h"

#include <cstdio>
#include <cstring>

#include "../common/char_class.h"
#include "../common/diagnostics.h"
#include "../common/find_name.h"
#include "../common/number.h"

namespace vorn {

static void record_definition(CompileState& s, vorn::DefinitionKind kind, const char* name,
                              int32_t value, const vorn::Location* where) {
    s.result.definitions.push_back(
        vorn::Definition{kind, name, value, -1, where ? *where : vorn::Location{},
                         current_source(s)});
}

static void add_name(CompileState& s, NameEntry* table, uint16_t* count, int capacity,
                     DiagnosticKind too_many, const char* name, int32_t value) {
    if (*count == capacity)
        fail(s, too_many, statement_span(s));
    NameEntry& entry = table[*count];
    snprintf(entry.name, NameSize, "%s", name);
    entry.value = static_cast<uint16_t>(value);
    ++*count;
}

void add_defvar(CompileState& s, const char* name, int32_t value, const vorn::Location* where) {
    add_name(s, s.tables->defvars, &s.defvar_count, MaxDefvars, DiagnosticKind::TooManyDefvars,
             name, value);
    record_definition(s, vorn::DefinitionKind::Variable, name, static_cast<uint16_t>(value), where);
}

void add_defnum(CompileState& s, const char* name, int32_t value, const vorn::Location* where) {
    add_name(s, s.tables->defnums, &s.defnum_count, MaxDefnums, DiagnosticKind::TooManyDefnums,
             name, value);
    record_definition(s, vorn::DefinitionKind::Constant, name, value, where);
}

int find_defvar(const CompileState& s, const char* name) {
    return find_name(s.tables->defvars, s.defvar_count, name);
}

int find_defnum(const CompileState& s, const char* name) {
    return find_name(s.tables->defnums, s.defnum_count, name);
}

// The name and number that follow a definition's directive word, with where they stand.
struct DefinitionText {
    char name[NameSize];
    bool has_name;
    bool name_too_long;
    NumberRead number_read;
    int32_t number;
    Span name_span;
    Span number_span;
};

// The definition in s.line, whose cleaned text is line.
static DefinitionText read_definition(const CompileState& s, const char* line) {
    DefinitionText definition = {};
    vorn::TextRange name = s.line.name;
    definition.has_name = !name.empty();
    definition.name_too_long = name.size() >= NameSize;
    definition.name_span = span_of(name);
    if (!definition.name_too_long)
        memcpy(definition.name, line + name.begin, name.size());
    const char* number = line + s.line.number.begin;
    definition.number_read = definition.has_name ? read_number(&number, &definition.number)
                                                 : NumberRead::None;
    definition.number_span = span_of(s.line.number);
    return definition;
}

// The number where there is one, else the name, else the whole line.
static Span value_span(const CompileState& s, const DefinitionText& definition) {
    if (definition.number_read != NumberRead::None)
        return definition.number_span;
    return definition.has_name ? definition.name_span : statement_span(s);
}

void parse_defvar(CompileState& s, const char* line) {
    DefinitionText definition = read_definition(s, line);
    long number = definition.number_read == NumberRead::Ok ? definition.number : -1;
    if (definition.number_read == NumberRead::OutOfRange)
        report(s, DiagnosticKind::NumberRange, definition.number_span, s.line_number);
    else if (static_cast<uint32_t>(number) > MaxDefvarNumber)
        report(s, DiagnosticKind::DefvarRange, value_span(s, definition), number, s.line_number);
    else if (definition.name_too_long)
        report(s, DiagnosticKind::NameTooLong, definition.name_span, s.line_number);
    else {
        vorn::Location where = location_of(s, definition.name_span);
        add_defvar(s, definition.name, static_cast<int32_t>(number), &where);
    }
}

void parse_defnum(CompileState& s, const char* line) {
    DefinitionText definition = read_definition(s, line);
    if (definition.number_read == NumberRead::None)
        report(s, DiagnosticKind::DefnumIncomplete, value_span(s, definition), s.line_number);
    else if (definition.number_read == NumberRead::OutOfRange)
        report(s, DiagnosticKind::NumberRange, definition.number_span, s.line_number);
    else if (definition.name_too_long)
        report(s, DiagnosticKind::NameTooLong, definition.name_span, s.line_number);
    else {
        vorn::Location where = location_of(s, definition.name_span);
        add_defnum(s, definition.name, definition.number, &where);
    }
}

}  // namespace vorn
