// vorn-lsp: the language server for VORN scripts, over standard input and output.
#include <csignal>
#include <cstring>
#include <iostream>

#include "server.h"

int main(int argc, char** argv) {
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
    // A client that goes away shows as a failed write, not as a signal.
    signal(SIGPIPE, SIG_IGN);
    // The reader thread may still sit in a read when the server returns: the transport it
    // reads with is never destroyed.
    static lsp::Transport* transport = new lsp::Transport(0, 1);
    lsp::Server server(*transport);
    return server.run();
}
