#include <unistd.h>

#include <cstdio>

#include "disassembler.h"
#include "../tools/guarded_main.h"

// A listing sent to a file or a pipe goes out in large writes; a terminal keeps line buffering.
static char output_buffer[1 << 16];

static int dis_main(int argc, char** argv) {
    if (!isatty(STDOUT_FILENO))
        setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    return run_disassembler(argc, argv);
}

int main(int argc, char** argv) {
    return guarded_main("vorn-dis", [&] { return dis_main(argc, argv); });
}
