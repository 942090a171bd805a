#include "driver.h"

#include <cstdio>

#include "../api/vorn.h"
#include "driver_messages.h"

namespace {

// An echo this short costs less byte by byte than as one block write.
constexpr std::size_t ShortText = 16;

// Everything goes to standard output as it comes. vorn has one thread, so stdio's lock is
// not needed.
class StdoutSink : public vorn::OutputSink {
public:
    void write(vorn::OutputKind, const char* text, std::size_t length) override {
        if (length <= ShortText) {
            for (std::size_t i = 0; i < length; ++i)
                putc_unlocked(text[i], stdout);
        } else {
            fwrite_unlocked(text, 1, length, stdout);
        }
    }
};

}  // namespace

int run_compiler(int argc, char** argv) {
    printf(MSG_BANNER);
    if (argc != 3) {
        printf(MSG_USAGE);
        return ExitUsage;
    }
    vorn::FileSystemProvider files;
    StdoutSink sink;
    vorn::CompileOptions options;
    options.output_path = argv[2];
    vorn::Compiler compiler;
    vorn::CompileResult result = compiler.compile(argv[1], files, sink, options);
    if (result.fatal)
        return result.status;
    if (result.error_count != 0)
        printf(MSG_ERROR_COUNT, result.error_count);
    printf(MSG_DONE);
    return result.status;
}
