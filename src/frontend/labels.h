// Labels: entry points into the code, for events and for numbered places.
#pragma once

#include "../common/compile_state.h"

namespace vorn {

// Marks the code position for an event; word is the line's first word (cut to fit), ending
// in ':', and stands at the start of the line.
void define_event_label(CompileState& s, const char* word);

// Marks the code position for a numbered place; line starts with a digit.
void define_place(CompileState& s, const char* line);

}  // namespace vorn
