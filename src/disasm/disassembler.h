// The whole life of one vorn-dis run.
#pragma once

// Checks the compiled file named on the command line and prints it as a script. Returns the
// status of a run that is not ended early by a fault or a note.
int run_disassembler(int argc, char** argv);
