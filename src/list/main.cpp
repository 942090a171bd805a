// vorn-list: compiles a script as vorn does and prints a listing of it: every source line with
// the code offset and the bytes it compiled to, the errors where they stand, and the symbols.
#include <unistd.h>

#include <cstdio>
#include <iostream>

#include <vorn/vorn.h>
#include <vorn/files.h>
#include "../tools/command_line.h"
#include "../tools/warning_flags.h"
#include "listing.h"
#include "../tools/guarded_main.h"

namespace {

// Status of a clean compile whose --at offset holds no statement.
constexpr int ExitNoStatement = 1;
// Status of a map file that cannot be written, vorn's status for an output it cannot write.
constexpr int ExitCannotWrite = 3;


// A listing sent to a file or a pipe goes out in large writes; a terminal keeps line buffering.
char output_buffer[1 << 16];

// A code offset as given on the command line: decimal, or hexadecimal after 0x, of any length.
// One too large for 64 bits is kept as the largest value, and its text shown as written.
struct Offset {
    uint64_t value;
    bool exact;
    std::string text;
};

struct Options {
    std::string script;
    std::vector<Offset> offsets;
    // Given on the command line, even as an empty name: that is a file that cannot be written.
    std::optional<std::string> map;
    vorn::WarningOptions warnings;
};

std::optional<Offset> parse_offset(const std::string& text) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty())
        return std::nullopt;
    const uint64_t base = hex ? 16 : 10;
    Offset offset{0, true, text};
    for (char c : digits) {
        uint64_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint64_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<uint64_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<uint64_t>(c - 'A' + 10);
        else
            return std::nullopt;
        if (offset.value > (UINT64_MAX - digit) / base) {
            offset.value = UINT64_MAX;
            offset.exact = false;
        } else if (offset.exact) {
            offset.value = offset.value * base + digit;
        }
    }
    return offset;
}

// "no statement at offset ...", with the offset in decimal and hex where it fits 64 bits.
void report_no_statement(const Offset& offset, std::size_t code_size) {
    if (offset.exact)
        fprintf(stderr, "vorn-list: no statement at offset %llu (0x%04llX): code size %zu\n",
                static_cast<unsigned long long>(offset.value),
                static_cast<unsigned long long>(offset.value), code_size);
    else
        fprintf(stderr, "vorn-list: no statement at offset %s: code size %zu\n",
                offset.text.c_str(), code_size);
}

// Compiles the script with follower told of every line, and finishes it. The warnings come
// where the errors do; unused-name, known only once the compile is over, after the last line.
template <typename Follower>
vorn::CompileResult compile_with(const Options& options, vorn::FileSystemProvider& files,
                                 Follower& follower) {
    const vorn::WarningOptions& w = options.warnings;
    const bool unused = w.enabled.has(vorn::DiagnosticKind::UnusedName);
    vorn::CompileOptions compile_options;
    compile_options.line_observer = &follower;
    compile_options.keep_diagnostics = false;
    compile_options.warnings = w.enabled;
    // Errors come with the notes that explain them, as in vorn-check.
    compile_options.explain = true;
    compile_options.record_uses = unused;
    for (std::size_t k = 0; k < vorn::DiagnosticKindCount; ++k) {
        auto kind = static_cast<vorn::DiagnosticKind>(k);
        if (kind != vorn::DiagnosticKind::UnusedName && w.enabled.has(kind) && vorn::counts_as_error(w, kind))
            compile_options.warnings_as_errors.add(kind);
    }
    vorn::NullSink quiet;
    vorn::Compiler compiler;
    vorn::CompileResult result = compiler.compile(options.script, files, quiet, compile_options);
    // The listing keeps no diagnostics in the result: those found after the compile are its only ones.
    if (unused) {
        result.diagnostics = vorn::unused_names({&result});
        vorn::count_warnings_as_errors(result, w);
    }
    follower.finish(result, result.diagnostics);
    return result;
}

int list(const Options& options) {
    vorn::allow_deepest_include_chain();
    vorn::FileSystemProvider files;
    vorn_list::SourceTexts texts(files);
    vorn::CompileResult result;
    int status;

    if (options.offsets.empty()) {
        vorn_list::Listing listing(texts, stdout);
        result = compile_with(options, files, listing);
        status = result.status;
    } else {
        std::vector<uint64_t> wanted;
        for (const Offset& offset : options.offsets)
            wanted.push_back(offset.value);
        vorn_list::OffsetAnswers answers(texts, std::move(wanted), stderr);
        result = compile_with(options, files, answers);
        status = result.status;
        for (std::size_t i = 0; i < options.offsets.size(); ++i) {
            if (const std::optional<std::string>& answer = answers.answers()[i]) {
                fprintf(stdout, "%s\n", answer->c_str());
            } else {
                report_no_statement(options.offsets[i], result.code.size());
                if (status == vorn::StatusClean)
                    status = ExitNoStatement;
            }
        }
    }

    if (options.map) {
        std::string map = vorn_list::map_file(result);
        if (options.map->empty()) {
            fprintf(stderr, "vorn-list: cannot write the --map file: its name is empty\n");
            if (status == vorn::StatusClean)
                status = ExitCannotWrite;
        } else if (vorn::write_output_file(options.map->c_str(), map.data(), map.size()) !=
                   vorn::OutputWrite::Written) {
            fprintf(stderr, "vorn-list: cannot write %s\n", options.map->c_str());
            if (status == vorn::StatusClean)
                status = ExitCannotWrite;
        }
    }
    return status;
}

}  // namespace

static int list_main(int argc, char** argv) {
    if (!isatty(STDOUT_FILENO))
        setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
    Options options;
    std::vector<std::string> offsets;
    CLI::App app{"Compiles a VORN script as vorn does and lists it: every source line with the\n"
                 "code offset and the bytes it compiled to, the errors where they stand, and\n"
                 "the symbols. The lists events.lst and command.lst are read from the current\n"
                 "directory.",
                 "vorn-list"};
    app.add_option("script", options.script, "the script file to list")->required();
    app.add_option("--at", offsets,
                   "print FILE:LINE:TEXT of the statement whose code holds OFFSET (decimal, or hex "
                   "after 0x) instead of the listing; may be given more than once")
        ->type_name("OFFSET")
        ->allow_extra_args(false);
    app.add_option("--map", options.map, "also write the symbol map to FILE, one symbol a line")
        ->type_name("FILE");
    app.set_version_flag("--version", "vorn-list " VORN_VERSION);
    app.footer(WarningOptionsHelp);
    std::vector<char*> args(argv, argv + argc);
    if (std::optional<int> status = take_warning_options("vorn-list", args, options.warnings))
        return *status;
    argc = static_cast<int>(args.size());
    argv = args.data();
    std::optional<int> status = parse_command_line(
        app, argc, argv, "[--at OFFSET]... [--map FILE] <script file>", [&] {
            for (const std::string& text : offsets) {
                std::optional<Offset> offset = parse_offset(text);
                if (!offset)
                    throw CLI::ValidationError("--at", "not an offset: " + text +
                                                           " (a decimal number, or hex after 0x)");
                options.offsets.push_back(*offset);
            }
        });
    if (status)
        return *status;
    return list(options);
}

int main(int argc, char** argv) {
    return guarded_main("vorn-list", [&] { return list_main(argc, argv); });
}
