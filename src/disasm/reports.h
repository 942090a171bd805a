// Reporting for vorn-dis: faults that stop the run, and notes on what no script can reproduce.
#pragma once

#include <cstdio>

namespace vorn::dis {

struct Disassembly;

// Where faults, notes and their summary are reported: standard error unless a harness that
// disassembles in-process sends them elsewhere (nullptr: standard error again). The notes'
// copies in the listing still go to standard output.

// Ends the run with status: the disassembler's entry point catches this and returns it.
struct DisEnd {
    int status;
};
[[noreturn]] void end_run(int status);

// Prints "<file>: " and the message on the report stream and ends the run with status.
[[noreturn]] void file_fault(Disassembly& dis, int status, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Prints a message on the report stream and ends the run with status, for faults before a file is named.
[[noreturn]] void usage_fault(Disassembly& dis, int status, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Writes a note into the listing and on the report stream, and remembers its status: the run
// goes on and ends with the lowest status noted.
void note_problem(Disassembly& dis, int status, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Ends the run with the lowest status noted, after a summary; returns if nothing was noted.
void finish_notes(Disassembly& dis);

}  // namespace vorn::dis
