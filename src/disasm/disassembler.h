// The whole life of one vorn-dis run.
#pragma once

// Checks the compiled file named on the command line and prints it as a script. Returns the
// exit status, that of a fault or a note too; prints the listing on standard output.
int run_disassembler(int argc, char** argv);
