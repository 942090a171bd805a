// Statements: a command of the command list and its arguments, compiled to bytecode.
#pragma once

#include "../common/compile_state.h"

namespace vorn {

// Compiles the statement in s.line, whose cleaned text is line.
void compile_statement(CompileState& s, const char* line);

}  // namespace vorn
