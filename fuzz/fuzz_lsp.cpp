// libFuzzer target: the language server's core, in-process, on a session of messages drawn
// from each input (fuzz/lsp_session.h says how, and which rules the answers keep).
//
// At start-up the harness writes a small project (both lists and three scripts) into a private
// folder, where every session works. Beyond the session's rules it checks the core's memory:
// what the process holds allocated (the sanitizer allocator's count) may grow during a session
// by at most a fixed base plus a bound per byte of the input read so far. A broken rule prints
// what broke and aborts, so that libFuzzer keeps the input.

#include <sanitizer/allocator_interface.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "lsp_session.h"

namespace {

// A session's growth of the allocated bytes may reach this much, plus MemoryPerInputByte for
// each byte read: a byte draws up to a word of script text, and the server holds a text with
// its compile, index and answers.
constexpr std::size_t MemoryBase = std::size_t{64} << 20;
constexpr std::size_t MemoryPerInputByte = 1024;

lsp_fuzz::Session* session = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/vorn-fuzz-lsp-XXXXXX";
    if (!mkdtemp(name)) {
        std::perror("fuzz_lsp: mkdtemp");
        std::abort();
    }
    lsp_fuzz::write_project(name);
    session = new lsp_fuzz::Session(name);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::size_t base = __sanitizer_get_current_allocated_bytes();
    std::size_t peak = base;
    std::string fault = session->run(data, size, [&](std::size_t read) -> std::string {
        std::size_t now = __sanitizer_get_current_allocated_bytes();
        peak = now > peak ? now : peak;
        if (now > base + MemoryBase + MemoryPerInputByte * read)
            return "the core holds " + std::to_string((now - base) >> 20) + " MB after " + std::to_string(read) +
                   " bytes of input";
        return {};
    });
    if (!fault.empty()) {
        std::fprintf(stderr, "fuzz_lsp: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
