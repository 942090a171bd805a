#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "../frontend/compile_file.h"
#include "driver.h"

// Standard output carries an echo of every line; sent to a file or a pipe, it goes out in
// large writes. A terminal keeps stdio's line buffering.
static char output_buffer[1 << 16];

// Open files beside the include chain: the standard streams, a list or the output file,
// and some to spare.
constexpr rlim_t SpareFileDescriptors = 16;

// Every level of an include chain keeps its file open, and the usual soft limit of 1024
// open files would end a chain well within MaxIncludeDepth with "Cannot open file". Raise
// the soft limit so that the deepest chain allowed fits, as far as the hard limit lets us.
static void allow_deepest_include_chain() {
    const rlim_t wanted = MaxIncludeDepth + SpareFileDescriptors;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted ? wanted
                                                                               : limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

int main(int argc, char** argv) {
    if (!isatty(STDOUT_FILENO))
        setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    allow_deepest_include_chain();
    return run_compiler(argc, argv);
}
