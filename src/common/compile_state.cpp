#include "compile_state.h"

#include "source_reader.h"

CompileState state;

void reset_compile_state() {
    close_all_sources();
    NameEntry* events = state.event_list;
    CommandEntry* commands = state.command_list;
    NameEntry* defvars = state.defvar_table;
    NameEntry* defnums = state.defnum_table;
    state = CompileState{};
    state.event_list = events;
    state.command_list = commands;
    state.defvar_table = defvars;
    state.defnum_table = defnums;
}
