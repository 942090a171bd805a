// Writing decoded code back as script text, and telling which bytes and names no script can write.
#pragma once

#include <cstdint>

#include "code_walk.h"

namespace vorn::dis {

struct Disassembly;

// Room for the longest statement: 4 blanks of indent, a name of 31 escaped characters, the
// parentheses and 10 arguments of ", " and a string of 79 escaped bytes in quotes: 1688.
constexpr int LineTextSize = 2048;

// A line being put together; it is cut, never overrun, at LineTextSize - 1 characters.
struct LineText {
    char text[LineTextSize];
    int length;
};

void text_clear(LineText* line);
void text_add(LineText* line, const char* s);
void text_add_char(LineText* line, char c);
void text_format(LineText* line, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Why a list name cannot be written in a script, or nullptr if it can.
const char* command_name_problem(Disassembly& dis, int command);
const char* event_name_problem(Disassembly& dis, int event);

// Appends a list name as a script writes it (spell_word).
void add_name(LineText* line, const char* name);

// How many of a string's bytes no script string can hold; *first is the index of the first.
int count_unwritable(const unsigned char* text, int length, int* first);

// How many bytes the compiler stores a number in: 1, 2 or 4.
int compiler_width(int64_t value);

// How many bytes a number argument with this tag is stored in.
int stored_width(uint8_t tag);

// Whether a script can name this variable number: 0 to 255, Self or Time.
bool variable_is_nameable(int64_t number);

// Appends an argument as a script writes it; a string's unwritable bytes appear as '?'.
void add_argument(Disassembly& dis, LineText* line, const Argument& arg);

}  // namespace vorn::dis
