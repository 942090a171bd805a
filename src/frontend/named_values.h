// Named values: variables (defvar) and constants (defnum).
#pragma once

#include <cstdint>

#include "../common/compile_state.h"
#include <vorn/language.h>

namespace vorn {

// Defines a variable or a constant; where is the name's place (nullptr: a predefined name).
void add_defvar(CompileState& s, const char* name, int32_t value, const vorn::Location* where);
void add_defnum(CompileState& s, const char* name, int32_t value, const vorn::Location* where);

// Index of the first variable or constant with exactly this name, or -1.
int find_defvar(const CompileState& s, const char* name);
int find_defnum(const CompileState& s, const char* name);

// Handle the defvar or defnum line in s.line, whose cleaned text is line.
void parse_defvar(CompileState& s, const char* line);
void parse_defnum(CompileState& s, const char* line);

}  // namespace vorn
