// The whole life of one compiler run.
#pragma once

// Loads both lists and makes every table of the state; called once, before compiling.
void init_tables();

// Runs the compiler on a command line; returns the exit status of a run that is not cut
// short by a fatal error.
int run_compiler(int argc, char** argv);
