// vorn-list: compiles a script as vorn does and prints a listing of it: every source line with
// the code offset and the bytes it compiled to, the errors where they stand, and the symbols.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

#include <vorn/project.h>
#include <vorn/output_file.h>
#include <vorn/warning_options.h>
#include "../tools/command_line.h"
#include "../tools/warning_flags.h"
#include "listing.h"
#include "../tools/guarded_main.h"
#include "../tools/project_lookup.h"

namespace {

// Status of a clean compile whose --at offset holds no statement.
constexpr int ExitNoStatement = 1;
// Status of a map file that cannot be written, vorn's status for an output it cannot write.
constexpr int ExitCannotWrite = 3;


// A listing sent to a file or a pipe goes out in large writes; a terminal keeps line buffering.
char output_buffer[1 << 16];

// An offset as given on the command line: decimal, or hexadecimal after 0x, of any length.
// One too large for 64 bits is kept as the largest value, and its text shown as written. A
// code offset counts from the start of the code; a file offset (--at-file, or "file:" before
// the number) from the start of the compiled file, whose code follows the header.
struct Offset {
    uint64_t value;
    bool exact;
    std::string text;
    bool in_file = false;
};

// What --at takes before a number to say which kind of offset it is.
constexpr const char* FileOffsetPrefix = "file:";
constexpr const char* CodeOffsetPrefix = "code:";

struct Options {
    std::string script;
    std::vector<Offset> offsets;
    // Given on the command line, even as an empty name: that is a file that cannot be written.
    std::optional<std::string> map;
    // The map's name as the user gave it, for messages: map itself may be made absolute.
    std::string map_name;
    vorn::WarningOptions warnings;
};

std::optional<Offset> parse_number(const std::string& text) {
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

// An --at offset: a number, or "file:" or "code:" and a number; in_file for --at-file.
std::optional<Offset> parse_offset(const std::string& text, bool in_file) {
    std::string number = text;
    auto take = [&](const char* prefix) {
        std::size_t length = strlen(prefix);
        if (in_file || number.compare(0, length, prefix) != 0)
            return false;
        number.erase(0, length);
        return true;
    };
    if (take(FileOffsetPrefix))
        in_file = true;
    else
        take(CodeOffsetPrefix);
    std::optional<Offset> offset = parse_number(number);
    if (offset)
        offset->in_file = in_file;
    return offset;
}

// The code offset that a file offset falls on, if it falls after the header.
std::optional<uint64_t> code_offset(const Offset& offset) {
    if (!offset.in_file)
        return offset.value;
    if (offset.value < vorn::ScriptHeaderSize)
        return std::nullopt;
    return offset.value - vorn::ScriptHeaderSize;
}

// What holds a file offset that no statement holds: the header, a slot of an entry table, or
// nothing, past the end of the file (or no file at all).
std::string file_part(const vorn::CompileResult& result, uint64_t at) {
    const std::vector<unsigned char>& file = result.compiled;
    if (file.empty())
        return "the script has errors, so there is no compiled file";
    if (at >= file.size())
        return "the compiled file is " + std::to_string(file.size()) + " bytes long";
    if (at < vorn::ScriptHeaderSize) {
        const char* field = at < vorn::PlaceCountOffset  ? "the event count"
                            : at < vorn::CodeSizeOffset  ? "the place count"
                            : at < vorn::CodeSizeOffset + 4 ? "the code size"
                                                            : "reserved bytes";
        return std::string("it is in the header: ") + field;
    }
    const uint64_t tables = vorn::ScriptHeaderSize + result.code.size();
    if (at < tables)
        return "no statement's code holds it";
    const uint64_t events = static_cast<uint64_t>(file[vorn::EventCountOffset]) |
                            static_cast<uint64_t>(file[vorn::EventCountOffset + 1]) << 8;
    uint64_t slot = (at - tables) / 2;
    if (slot < events) {
        std::string name = slot < result.lists.events.size()
                               ? std::string(" ") + result.lists.events[slot].name
                               : std::string();
        return "it is in the event entries: event " + std::to_string(slot) + name;
    }
    return "it is in the place entries: place " + std::to_string(slot - events);
}

// "no statement at offset ...", with the offset in decimal and hex where it fits 64 bits.
void report_no_statement(const Offset& offset, const vorn::CompileResult& result) {
    if (offset.in_file) {
        std::string at = offset.exact && offset.value <= UINT32_MAX
                             ? "0x" + vorn_list::hex4(static_cast<uint32_t>(offset.value))
                             : offset.text;
        fprintf(stderr, "vorn-list: no statement at file offset %s: %s\n", at.c_str(),
                file_part(result, offset.value).c_str());
        return;
    }
    const std::size_t code_size = result.code.size();
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
    // An unknown name that only a file the script does not include defines is explained by
    // the project of the folder the script is compiled from, as vorn-check explains it (--at
    // reports no notes).
    std::map<std::string, LoadedProject> projects;
    std::error_code error;
    ProjectLookup lookup(projects, std::filesystem::current_path(error).string(), options.script);
    ExplainingObserver explaining(follower, lookup);
    vorn::CompileOptions compile_options;
    compile_options.line_observer = options.offsets.empty() ? static_cast<vorn::LineObserver*>(&explaining) : &follower;
    compile_options.keep_diagnostics = false;
    compile_options.warnings = w.enabled;
    // Errors come with the notes that explain them, as in vorn-check.
    compile_options.explain = true;
    // The map tells where the source wrote a name, from the uses.
    compile_options.record_uses = unused || options.map;
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
    // The listing's texts are read again from the files, which only a regular file allows: a
    // FIFO would give its next bytes, or block once its writer is gone. The lines of anything
    // else are listed without their text.
    vorn::FileSystemProvider on_disk;
    on_disk.open_regular_files_only(UINT64_MAX);
    vorn_list::SourceTexts texts(on_disk);
    vorn::CompileResult result;
    int status;

    if (options.offsets.empty()) {
        vorn_list::Listing listing(texts, stdout);
        result = compile_with(options, files, listing);
        status = result.status;
    } else {
        std::vector<uint64_t> wanted;
        // A file offset in the header asks for no code offset: none holds it.
        for (const Offset& offset : options.offsets)
            wanted.push_back(code_offset(offset).value_or(UINT64_MAX));
        vorn_list::OffsetAnswers answers(texts, std::move(wanted), stderr);
        result = compile_with(options, files, answers);
        status = result.status;
        for (std::size_t i = 0; i < options.offsets.size(); ++i) {
            if (const std::optional<std::string>& answer = answers.answers()[i]) {
                fprintf(stdout, "%s\n", answer->c_str());
            } else {
                report_no_statement(options.offsets[i], result);
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
        } else if (vorn::OutputWrite written = vorn::write_output_file(
                       options.map->c_str(), map.data(), map.size(), vorn::files_read(result));
                   written != vorn::OutputWrite::Written) {
            if (written == vorn::OutputWrite::IsInput)
                fprintf(stderr, "vorn-list: cannot write %s: it is an input file\n", options.map_name.c_str());
            else
                fprintf(stderr, "vorn-list: cannot write %s\n", options.map_name.c_str());
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
    std::vector<std::string> file_offsets;
    CLI::App app{"Compiles a VORN script as vorn does and lists it: every source line with the\n"
                 "code offset and the bytes it compiled to, the errors where they stand, the\n"
                 "compiled file's header and entry tables with their file offsets, and the\n"
                 "symbols. The lists events.lst and command.lst are read from the nearest\n"
                 "directory from the script's own up that holds both, as vorn-check finds them;\n"
                 "file names are then written as from that directory.",
                 "vorn-list"};
    app.add_option("script", options.script, "the script file to list")->required();
    app.add_option("--at", offsets,
                   "print FILE:LINE:TEXT of the statement whose code holds OFFSET (decimal, or hex "
                   "after 0x) instead of the listing; a code offset, or a file offset written "
                   "file:OFFSET (file:0x84); may be given more than once")
        ->type_name("OFFSET")
        ->allow_extra_args(false);
    app.add_option("--at-file", file_offsets,
                   "as --at, for an offset in the compiled file (the code starts at 0x40, after "
                   "the header); may be given more than once")
        ->type_name("OFFSET")
        ->allow_extra_args(false);
    app.add_option("--map", options.map, "also write the symbol map to FILE, one symbol a line")
        ->type_name("FILE");
    app.set_version_flag("--version", "vorn-list " VORN_VERSION);
    app.footer(warning_options_help());
    std::vector<char*> args(argv, argv + argc);
    if (std::optional<int> status = take_warning_options("vorn-list", args, options.warnings))
        return *status;
    argc = static_cast<int>(args.size());
    argv = args.data();
    std::optional<int> status = parse_command_line(
        app, argc, argv, "[--at OFFSET]... [--at-file OFFSET]... [--map FILE] <script file>", [&] {
            for (const std::string& text : offsets) {
                std::optional<Offset> offset = parse_offset(text, false);
                if (!offset)
                    throw CLI::ValidationError("--at", "not an offset: " + text +
                                                           " (a decimal number, or hex after 0x, "
                                                           "after file: for a file offset)");
                options.offsets.push_back(*offset);
            }
            for (const std::string& text : file_offsets) {
                std::optional<Offset> offset = parse_offset(text, true);
                if (!offset)
                    throw CLI::ValidationError("--at-file", "not an offset: " + text +
                                                                " (a decimal number, or hex after 0x)");
                options.offsets.push_back(*offset);
            }
        });
    if (status)
        return *status;
    if (options.map)
        options.map_name = *options.map;
    // An empty name opens nothing, as vorn finds, and has no folder to look up from.
    if (options.script.empty())
        return list(options);
    // The script is compiled from the folder of its lists, as vorn would be run there.
    vorn::ListsSearch search = vorn::find_lists(options.script);
    if (search.folder.empty()) {
        int listed = list(options);
        fflush(stdout);
        fprintf(stderr, "vorn-list: note: %s\n", vorn::escaped_text(vorn::lists_not_found(search)).c_str());
        return listed;
    }
    std::filesystem::path script = std::filesystem::absolute(options.script).lexically_normal();
    if (options.map && !options.map->empty())
        options.map = std::filesystem::absolute(*options.map).string();
    if (chdir(search.folder.c_str()) != 0) {
        fprintf(stderr, "vorn-list: cannot change to directory %s: %s\n",
                vorn::escaped_text(search.folder).c_str(), strerror(errno));
        return ExitUsage;
    }
    options.script = script.lexically_relative(search.folder).string();
    return list(options);
}

int main(int argc, char** argv) {
    return guarded_main("vorn-list", [&] { return list_main(argc, argv); });
}
