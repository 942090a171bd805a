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

namespace {

// Status of a clean compile whose --at offset holds no statement.
constexpr int ExitNoStatement = 1;
// Status of a map file that cannot be written, vorn's status for an output it cannot write.
constexpr int ExitCannotWrite = 3;

struct Options {
    std::string script;
    std::vector<uint32_t> offsets;
    std::string map;
    vorn::WarningOptions warnings;
};

// A listing sent to a file or a pipe goes out in large writes; a terminal keeps line buffering.
char output_buffer[1 << 16];

// A code offset as given on the command line: decimal, or hexadecimal after 0x.
std::optional<uint32_t> parse_offset(const std::string& text) {
    std::optional<uint64_t> value = vorn::parse_unsigned(text, UINT32_MAX, true);
    if (!value)
        return std::nullopt;
    return static_cast<uint32_t>(*value);
}

// The errors of a compile whose listing is not printed go to standard error.
void report_errors(const vorn::CompileResult& result) {
    for (const vorn::Diagnostic& d : result.diagnostics) {
        std::string where = vorn::location_text(d.where, "vorn-list");
        fprintf(stderr, "%s: %s: %s%s\n", where.c_str(), vorn::severity_name(d.severity), d.text.c_str(),
                vorn::warning_option_text(d).c_str());
    }
}

int list(const Options& options) {
    vorn::allow_deepest_include_chain();
    vorn::CompileOptions compile_options;
    compile_options.record_lines = true;
    compile_options.warnings = options.warnings.enabled;
    compile_options.record_uses = options.warnings.enabled.has(vorn::DiagnosticKind::UnusedName);
    vorn::FileSystemProvider files;
    vorn::NullSink quiet;
    vorn::Compiler compiler;
    vorn::CompileResult result = compiler.compile(options.script, files, quiet, compile_options);
    if (options.warnings.enabled.has(vorn::DiagnosticKind::UnusedName))
        for (vorn::Diagnostic& unused : vorn::unused_names({&result}))
            result.diagnostics.push_back(std::move(unused));
    vorn::count_warnings_as_errors(result, options.warnings);
    vorn_list::SourceTexts texts(files);
    int status = result.status;

    if (options.offsets.empty()) {
        std::string text = vorn_list::listing(result, texts);
        fwrite(text.data(), 1, text.size(), stdout);
    } else {
        report_errors(result);
        std::vector<vorn_list::ListedLine> lines = vorn_list::listed_lines(result);
        for (uint32_t offset : options.offsets) {
            if (std::optional<std::size_t> found = vorn_list::line_at(lines, offset)) {
                std::string answer = vorn_list::line_answer(result, texts, lines[*found]);
                fprintf(stdout, "%s\n", answer.c_str());
            } else {
                fprintf(stderr, "vorn-list: no statement at offset %u (0x%04X): code size %zu\n",
                        offset, offset, result.code.size());
                if (status == vorn::StatusClean)
                    status = ExitNoStatement;
            }
        }
    }

    if (!options.map.empty()) {
        std::string map = vorn_list::map_file(result);
        if (vorn::write_output_file(options.map.c_str(), map.data(), map.size()) != vorn::OutputWrite::Written) {
            fprintf(stderr, "vorn-list: cannot write %s\n", options.map.c_str());
            if (status == vorn::StatusClean)
                status = ExitCannotWrite;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
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
    if (std::optional<int> taken = take_warning_options("vorn-list", args, options.warnings))
        return *taken;
    argc = static_cast<int>(args.size());
    argv = args.data();
    std::optional<int> status = parse_command_line(
        app, argc, argv, "[--at OFFSET]... [--map FILE] <script file>", [&] {
            for (const std::string& text : offsets) {
                std::optional<uint32_t> offset = parse_offset(text);
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
