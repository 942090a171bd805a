// Reporting for vorn-dis: faults that stop the run, and notes on what no script can reproduce.
#pragma once

// Prints "<file>: " and the message on standard error and ends the run with status.
[[noreturn]] void file_fault(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Prints a message on standard error and ends the run with status, for faults before a file is named.
[[noreturn]] void usage_fault(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Writes a note into the listing and on standard error, and remembers its status: the run
// goes on and ends with the lowest status noted.
void note_problem(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Ends the run with the lowest status noted, after a summary; returns if nothing was noted.
void finish_notes();
