// The event and command lists: what a script may use, read from the current directory.
#pragma once

constexpr const char* EventListFile = "events.lst";
constexpr const char* CommandListFile = "command.lst";

// A list file is read in pieces of at most 79 characters.
constexpr int ListLineSize = 80;

// The most arguments a statement can carry, and so the most a command may declare.
constexpr int MaxArguments = 10;

// Each loader prints how many entries it read; a caller whose output must stay clean (the
// disassembler's listing) passes false.
void load_event_list(bool announce = true);
void load_command_list(bool announce = true);

// Index of the first entry with exactly this name, or -1.
int find_event(const char* name);
int find_command(const char* name);
