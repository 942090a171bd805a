// The playground's side of the toolchain, compiled to WebAssembly and run in a Web Worker:
// the project's files live in memory (a MemoryProvider, folders and all), a
// compile gives what vorn prints, the compiled file and the listing's rows, and the language
// server's core answers the editor's messages. Every entry point takes and gives text (JSON
// where it is structured); the worker owns the only instance.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <vorn/vorn.h>

#include "../../src/driver/driver_messages.h"
#include "../../src/list/listing.h"
#include "../../src/lsp/core.h"

namespace {

using nlohmann::json;

// The project's folder: relative paths are served and compiled from here, and the language
// server's workspace is file:///project.
constexpr const char* ProjectFolder = "/project";
// Where a compile writes its file: a folder of the in-memory file system outside the project.
constexpr const char* OutputFolder = "/.vorn-out";

struct Playground {
    vorn::MemoryProvider files{ProjectFolder};
    vorn::Compiler compiler;
    lsp::Core server{files};
    std::string reply;  // the text handed back to JavaScript, kept until the next call
};

Playground& playground() {
    static Playground instance;
    return instance;
}

// Collects the listed lines of a compile: which source line emitted which code bytes.
class RowCollector final : public vorn_list::LineFollower {
public:
    explicit RowCollector(vorn_list::SourceTexts& texts) : LineFollower(texts) {}
    json rows = json::array();

protected:
    void line(const vorn_list::ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
              const unsigned char*, const vorn::CompileResult& result) override {
        rows.push_back({{"file", result.files[line.file].path},
                        {"line", line.line},
                        {"column", line.column},
                        {"begin", line.code_begin},
                        {"end", line.code_end},
                        {"errors", diagnostics.size()}});
    }
    // What stands on no line is in the console text already.
    void unplaced(const std::vector<vorn::Diagnostic>&) override {}
};

// What vorn prints for a run: the banner, the compile's own output, the error count and the
// last line, exactly as the driver frames them.
std::string console_text(const vorn::RecordingSink& sink, const vorn::CompileResult& result) {
    std::string text = MSG_BANNER + sink.text();
    if (result.fatal)
        return text;
    if (result.error_count != 0) {
        char count[64];
        snprintf(count, sizeof count, MSG_ERROR_COUNT, result.error_count);
        text += count;
    }
    return text + MSG_DONE;
}

// Bytes as the characters of the same codes (Latin-1), so that what vorn prints reaches the
// page byte for byte (its string quotes are bytes that are no UTF-8).
std::string latin1(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::string hex_of(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

}  // namespace

extern "C" {

// Serves text as the file at path (relative to the project's folder); replaces earlier text.
void vorn_serve(const char* path, const char* text) {
    playground().files.serve(path, text);
}

// Forgets every file served so far.
void vorn_forget_all() { playground().files.clear(); }

// Compiles script as `vorn script out` would in the project's folder, and gives JSON:
// console (what vorn prints, a character per byte), status (its exit status), output (the compiled file in hex,
// empty when none is written), header (the code's offset in the file) and rows (the listing).
const char* vorn_compile(const char* script) {
    Playground& p = playground();
    mkdir(OutputFolder, 0755);
    vorn::RecordingSink sink;
    vorn_list::SourceTexts texts(p.files);
    RowCollector rows(texts);
    vorn::CompileOptions options;
    options.output_path = std::string(OutputFolder) + "/out.bin";
    options.line_observer = &rows;
    vorn::CompileResult result = p.compiler.compile(script, p.files, sink, options);
    rows.finish(result);
    std::vector<unsigned char> written;
    if (FILE* out = result.status == vorn::StatusClean ? fopen(options.output_path->c_str(), "rb")
                                                        : nullptr) {
        unsigned char buffer[4096];
        std::size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, out)) > 0)
            written.insert(written.end(), buffer, buffer + n);
        fclose(out);
    }
    remove(options.output_path->c_str());
    json answer = {{"console", latin1(console_text(sink, result))},
                   {"status", result.status},
                   {"output", hex_of(written)},
                   {"code", hex_of(result.code)},
                   {"header", vorn::compose_compiled_file({}, {}, {}).size()},
                   {"rows", std::move(rows.rows)}};
    p.reply = answer.dump();
    return p.reply.c_str();
}

// The messages a server call gives, one JSON text a line (a JSON text without indentation has
// no line end of its own: one in a string is escaped).
const char* lines_of(const std::vector<std::string>& messages) {
    std::string& reply = playground().reply;
    reply.clear();
    for (const std::string& message : messages) {
        if (!reply.empty())
            reply += '\n';
        reply += message;
    }
    return reply.c_str();
}

// One message for the language server; the messages it sends back.
const char* vorn_lsp_handle(const char* message) {
    return lines_of(playground().server.handle(message));
}

// The server's deferred work (compiles), one step. A worker runs one message at a time, so
// no newer message can make the step stale while it runs.
const char* vorn_lsp_step() {
    return lines_of(playground().server.step([] { return false; }));
}

int vorn_lsp_has_work() { return playground().server.has_work() ? 1 : 0; }

}  // extern "C"
