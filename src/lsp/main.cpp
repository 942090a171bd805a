// vorn-lsp: the language server for VORN scripts, over standard input and output.
#include <malloc.h>

#include <csignal>
#include <cstring>
#include <iostream>

#include <vorn/sources.h>

#include "stdio_host.h"
#include "../tools/guarded_main.h"

namespace {

// Blocks up to this size come from the heap, and freed memory at its top is given back to the
// system only past this much. The server builds and drops large blocks on every request (a
// compile, the JSON of a reply: semantic tokens for 5,000 lines are 40,000 numbers); as
// mappings of their own, each would cost the page faults of fresh memory every time, several
// times the work itself. Larger blocks (a document of megabytes, its parse and its compile)
// are mappings of their own, given back when freed: on the heap, what the parse leaves free
// would be kept beside the compile's blocks (12 MiB document: 70 MiB peak with 32 MiB here,
// 63 MiB with 4).
constexpr int HeapBlockLimit = 4 << 20;
constexpr int HeapKeptFree = 64 << 20;
// One heap for both threads. The reader thread parses each message into memory that the
// server's thread then owns and frees; with a heap of its own, the reader's freed blocks stay
// resident beside the server's, and a large document counted twice at the peak (70 MiB
// against 110 on a 12 MiB document).
constexpr int HeapArenas = 1;

}  // namespace

static int lsp_main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--version") == 0) {
            std::cout << "vorn-lsp " VORN_VERSION "\n";
            return 0;
        }
        // Editors pass --stdio; standard input and output are the only channel there is.
        if (strcmp(argv[i], "--stdio") != 0) {
            std::cerr << "usage: vorn-lsp [--stdio | --version]\n"
                         "Speaks the Language Server Protocol on standard input and output.\n";
            return 1;
        }
    }
    mallopt(M_MMAP_THRESHOLD, HeapBlockLimit);
    mallopt(M_TRIM_THRESHOLD, HeapKeptFree);
    mallopt(M_ARENA_MAX, HeapArenas);
    // A client that goes away shows as a failed write, not as a signal.
    signal(SIGPIPE, SIG_IGN);
    // The reader thread may still sit in a read when the server returns: the transport it
    // reads with is never destroyed.
    static lsp::Transport* transport = new lsp::Transport(0, 1);
    vorn::FileSystemProvider disk;
    disk.open_regular_files_only();
    return lsp::serve(*transport, disk);
}

int main(int argc, char** argv) {
    return guarded_main("vorn-lsp", [&] { return lsp_main(argc, argv); });
}
