// The event and command lists: what a script may use, read through the provider (for vorn,
// from the current directory).
#pragma once

#include "../common/compile_state.h"
#include <vorn/language.h>

namespace vorn {

// Load each list into the result's lists and trace how many entries were read.
void load_event_list(CompileState& s);
void load_command_list(CompileState& s);

}  // namespace vorn
