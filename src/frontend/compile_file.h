// Reading a script file line by line: clean, echo and dispatch each line to its handler.
#pragma once

#include <string>

#include "../common/compile_state.h"

namespace vorn {

// Compiles one script file, and every file it includes, into the state. include_name is the
// span of the name on the include line that names it, or nullptr for the top script.
struct Span;
void compile_file(CompileState& s, const std::string& path, const Span* include_name);

}  // namespace vorn
