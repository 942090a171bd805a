// Labels: entry points into the code, for events and for numbered places.
#pragma once

#include "../common/compile_state.h"

namespace vorn {

// Marks the code position for the event label in s.line, whose cleaned text is line.
void define_event_label(CompileState& s, const char* line);

// Marks the code position for the place label in s.line, whose cleaned text is line.
void define_place(CompileState& s, const char* line);

}  // namespace vorn
