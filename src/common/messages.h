// Reporting: counted errors, fatal ends, and the one place that exits the process.
#pragma once

#include <cstdint>

// Prints a counted error and adds 1 to the error count; compilation goes on.
void report_error(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Adds 1 to the error count, which stops at its highest value instead of wrapping to 0.
void count_error();

// Prints a message and ends the run at once with the given status.
[[noreturn]] void fatal(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Ends the run with the given status after flushing standard output, so that messages
// without a line end still appear. This is the only way the compiler exits early.
[[noreturn]] void fatal_exit(int status);

// A harness that compiles in-process (tests, the fuzzer) can take over fatal ends: the
// handler is called instead of exit and must not return (it longjmps back to the harness).
using FatalHandler = void (*)(int status);
void set_fatal_handler(FatalHandler handler);
