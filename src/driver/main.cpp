#include <unistd.h>

#include <cstdio>

#include <vorn/compiler.h>
#include "driver.h"
#include "../tools/guarded_main.h"

// Standard output carries an echo of every line; sent to a file or a pipe, it goes out in
// large writes. A terminal keeps stdio's line buffering.
static char output_buffer[1 << 16];

static int vorn_main(int argc, char** argv) {
    if (!isatty(STDOUT_FILENO))
        setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    vorn::allow_deepest_include_chain();
    return run_compiler(argc, argv);
}

int main(int argc, char** argv) {
    return guarded_main("vorn", [&] { return vorn_main(argc, argv); });
}
