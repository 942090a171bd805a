// The whole life of one vorn-dis run.
#pragma once

#include <cstdio>

// Checks the compiled file named on the command line and prints it as a script. Returns the
// exit status, that of a fault or a note too; prints the listing on standard output, and
// faults and notes on reports (standard error when none is given). Each run has a state of
// its own, so one process may run it again and again (the fuzzer does).
int run_disassembler(int argc, char** argv, FILE* reports = nullptr);
