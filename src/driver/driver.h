// The whole life of one vorn run, over the compiler library.
#pragma once

// Runs the compiler on a command line and returns the exit status; prints to standard output.
int run_compiler(int argc, char** argv);
