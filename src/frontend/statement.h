// Statements: a command of the command list and its arguments, compiled to bytecode.
#pragma once

#include "../common/compile_state.h"

namespace vorn {

// Compiles one cleaned line that starts with white space.
void compile_statement(CompileState& s, const char* line);

// Splits and encodes the arguments; text starts at the statement's first '('.
void compile_arguments(CompileState& s, const char* text, int arg_count);

}  // namespace vorn
