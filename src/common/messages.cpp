#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "compile_state.h"

static FatalHandler fatal_handler = nullptr;

void count_error() {
    if (state.error_count != UINT16_MAX)
        ++state.error_count;
}

void report_error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    count_error();
}

void fatal(int status, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fatal_exit(status);
}

void fatal_exit(int status) {
    fflush(stdout);
    if (fatal_handler)
        fatal_handler(status);
    exit(status);
}

void set_fatal_handler(FatalHandler handler) { fatal_handler = handler; }
