#include "driver.h"

#include <unistd.h>

#include <cstdio>

#include <vorn/compiler.h>
#include "driver_messages.h"

namespace {

// Everything goes to standard output, gathered in a buffer of our own and handed to stdio in
// large pieces; a terminal gets each piece as it comes. vorn has one thread, so stdio's lock
// is not needed.
class StdoutSink final : public vorn::BufferedSink {
public:
    explicit StdoutSink(bool at_once) : buffered_(!at_once) {
        if (buffered_)
            set_buffer(buffer_, sizeof buffer_);
    }
    ~StdoutSink() override { flush(); }

    void flush() {
        if (!buffered_)
            return;
        std::size_t used = static_cast<std::size_t>(buffer_next() - buffer_);
        if (used == 0)
            return;
        fwrite_unlocked(buffer_, 1, used, stdout);
        set_buffer(buffer_, sizeof buffer_);
    }

protected:
    void put(vorn::OutputKind kind, std::string_view text) override {
        flush();
        if (!buffered_ || text.size() > sizeof buffer_) {
            fwrite_unlocked(text.data(), 1, text.size(), stdout);
            return;
        }
        write(kind, text);
    }

private:
    bool buffered_;
    char buffer_[1 << 16];
};

}  // namespace

int run_compiler(int argc, char** argv) {
    printf(MSG_BANNER);
    if (argc != 3) {
        printf(MSG_USAGE);
        return ExitUsage;
    }
    vorn::FileSystemProvider files;
    // The compiler reads its script to the end, whatever it is.
    files.read_streams_whole();
    StdoutSink sink(isatty(STDOUT_FILENO));
    vorn::CompileOptions options;
    options.output_path = argv[2];
    vorn::Compiler compiler;
    vorn::CompileResult result = compiler.compile(argv[1], files, sink, options);
    sink.flush();
    if (result.fatal)
        return result.status;
    if (result.error_count != 0)
        printf(MSG_ERROR_COUNT, result.error_count);
    printf(MSG_DONE);
    return result.status;
}
