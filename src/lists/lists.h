// The event and command lists: what a script may use, read through the provider (for vorn,
// from the current directory).
#pragma once

#include "../common/compile_state.h"
#include "../common/language.h"

constexpr const char* EventListFile = "events.lst";
constexpr const char* CommandListFile = "command.lst";

// A list file is read in pieces of at most 79 characters.
constexpr int ListLineSize = 80;

// Load each list into the result's lists and trace how many entries were read.
void load_event_list(CompileState& s);
void load_command_list(CompileState& s);
