#include "script_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <vorn/grammar.h>
#include <vorn/language.h>
#include <vorn/line_text.h>
#include "dis_state.h"
#include "disasm_messages.h"

namespace vorn::dis {

// What a string shows in place of a byte that no script string can hold.
constexpr char UnwritableStandIn = '?';

void text_clear(LineText* line) {
    line->length = 0;
    line->text[0] = '\0';
}

void text_add_char(LineText* line, char c) {
    if (line->length >= LineTextSize - 1)
        return;
    line->text[line->length++] = c;
    line->text[line->length] = '\0';
}

void text_add(LineText* line, const char* s) {
    while (*s)
        text_add_char(line, *s++);
}

void text_format(LineText* line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int room = LineTextSize - line->length;
    int written = vsnprintf(line->text + line->length, static_cast<std::size_t>(room), format, args);
    va_end(args);
    if (written > 0)
        line->length += written < room ? written : room - 1;
}

// Whether a list name, spelled as a listing writes it, reads back as that name where it
// stands: as the command word of a statement, or as the event of a label line.
static bool reads_back(const char* name, bool is_command) {
    LineText line;
    text_clear(&line);
    if (is_command)
        text_add_char(&line, ' ');
    add_name(&line, name);
    text_add(&line, is_command ? "()" : ":");
    vorn::LinePiece piece = vorn::read_piece(line.text);
    vorn::LineKind kind = is_command ? vorn::LineKind::Statement : vorn::LineKind::EventLabel;
    vorn::TextRange word = is_command ? piece.parts.command : piece.parts.name;
    return piece.parts.kind == kind && piece.text(word) == name;
}

// Why a name does not read back: a backslash never survives the line cleaner, and a
// statement's command word ends at its first '('.
static const char* name_problem(const char* name, bool is_command, bool is_first) {
    if (!reads_back(name, is_command)) {
        if (strchr(name, '\\'))
            return REASON_BACKSLASH;
        if (is_command && strchr(name, '('))
            return REASON_PAREN;
        return REASON_READ_OTHERWISE;
    }
    if (!is_first)
        return REASON_HIDDEN;
    return nullptr;
}

const char* command_name_problem(Disassembly& dis, int command) {
    const char* name = dis.lists.commands[command].name;
    return name_problem(name, true, dis.lists.find_command(name) == command);
}

const char* event_name_problem(Disassembly& dis, int event) {
    const char* name = dis.lists.events[event].name;
    return name_problem(name, false, dis.lists.find_event(name) == event);
}

void add_name(LineText* line, const char* name) { text_add(line, spell_word(name).c_str()); }

static bool byte_is_unwritable(unsigned char b) { return !string_byte_writable(b); }

int count_unwritable(const unsigned char* text, int length, int* first) {
    int count = 0;
    for (int i = length - 1; i >= 0; --i)
        if (byte_is_unwritable(text[i])) {
            ++count;
            *first = i;
        }
    return count;
}

// The string as a script writes it, with a stand-in for each byte no string can hold.
static void add_string(LineText* line, const unsigned char* text, int length) {
    std::string value(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
    for (char& c : value)
        if (byte_is_unwritable(static_cast<unsigned char>(c)))
            c = UnwritableStandIn;
    text_add(line, spell_string(value).c_str());
}

int compiler_width(int64_t value) { return ArgumentValueBytes[number_tag(value)]; }

int stored_width(uint8_t tag) { return ArgumentValueBytes[tag]; }

bool variable_is_nameable(int64_t number) {
    return number < DefvarNumbers || predefined_variable_name(number) != nullptr;
}

// Script variables are named after their number; the two built-in ones have their own names.
static void add_variable(LineText* line, int64_t number) {
    if (const char* name = predefined_variable_name(number))
        text_add(line, name);
    else
        text_format(line, "v%ld", static_cast<long>(number));
}

void add_argument(Disassembly& dis, LineText* line, const Argument& arg) {
    if (const char* name = mapped_name(dis, arg.offset))
        return text_add(line, name);
    switch (arg.tag) {
    case ArgString:
        add_string(line, code_bytes(dis) + arg.offset + 2, static_cast<int>(arg.value));
        break;
    case ArgVariable:
        add_variable(line, arg.value);
        break;
    case ArgEventParam:
        text_format(line, "&%ld", static_cast<long>(arg.value));
        break;
    case ArgCondition:
        text_add(line, ConditionKeywordTable[arg.value]);
        break;
    default:
        text_format(line, "%ld", static_cast<long>(arg.value));
        break;
    }
}

}  // namespace vorn::dis
