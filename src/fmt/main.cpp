// vorn-fmt: rewrites scripts into the one layout of vorn/format.h, in place, or checks them,
// or shows the change as a diff, or formats standard input to standard output.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include <vorn/output_file.h>
#include <vorn/format.h>
#include "../tools/command_line.h"
#include "../tools/guarded_main.h"

namespace {

// Statuses: every file is (or, with --check, already was) in the layout; with --check, some
// file is not; a file could not be read or written, or the command line is wrong.
constexpr int ExitFormatted = 0;
constexpr int ExitWouldChange = 1;
constexpr int ExitTrouble = 2;

// The name that stands for standard input and output.
constexpr const char* StandardStreams = "-";

struct Options {
    std::vector<std::string> files;
    bool check = false;
    bool diff = false;
    vorn::FormatOptions format;
};

// The largest file read to format, as vorn-check --fix reads to fix: a file is kept whole
// twice over (as it was, and formatted), three times with --diff.
constexpr std::size_t MaxFormattedFileSize = std::size_t{64} << 20;

// Reads stream whole; false with errno set when a read fails, or EFBIG when it holds more
// than MaxFormattedFileSize bytes (nothing past that is read).
bool read_stream(FILE* stream, std::string& text) {
    char block[1 << 16];
    std::size_t got;
    while ((got = fread(block, 1, sizeof block, stream)) > 0) {
        if (text.size() + got > MaxFormattedFileSize) {
            errno = EFBIG;
            return false;
        }
        text.append(block, got);
    }
    return !ferror(stream);
}

bool read_file(const std::string& path, std::string& text) {
    if (path == StandardStreams)
        return read_stream(stdin, text);
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    bool read = read_stream(file, text);
    int saved = errno;
    fclose(file);
    errno = saved;
    return read;
}

// The ending of the script files that a folder given on the command line stands for.
constexpr std::string_view ScriptExtension = ".vs";

// The files a command-line name stands for: a folder, every .vs file under it that is a
// regular file (links to folders are not followed), in the order of their names; anything
// else, itself. A folder that cannot be read is reported, and status set.
std::vector<std::string> expand(const std::string& name, int& status) {
    std::error_code error;
    if (name == StandardStreams || !std::filesystem::is_directory(name, error))
        return {name};
    std::vector<std::string> files;
    std::filesystem::recursive_directory_iterator walk(name, error), end;
    for (; !error && walk != end; walk.increment(error)) {
        const std::filesystem::directory_entry& entry = *walk;
        std::error_code kind_error;
        std::string path = entry.path().string();
        if (path.size() > ScriptExtension.size() &&
            path.compare(path.size() - ScriptExtension.size(), ScriptExtension.size(),
                         ScriptExtension) == 0 &&
            entry.is_regular_file(kind_error))
            files.push_back(path);
    }
    if (error) {
        fprintf(stderr, "vorn-fmt: %s: %s\n", name.c_str(), error.message().c_str());
        status = std::max(status, ExitTrouble);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Formats one file as the options ask; returns its status.
int format_file(const Options& options, const std::string& path) {
    // Rewritten in place, a FIFO would be waited on for a reader, and /dev/stdin would send
    // the text back into its pipe: only a regular file is read to be rewritten.
    struct stat st;
    bool in_place = !options.check && !options.diff && path != StandardStreams;
    if (in_place && stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        fprintf(stderr, "vorn-fmt: %s: not a regular file; only regular files are formatted in place "
                        "(- formats standard input to standard output)\n", path.c_str());
        return ExitTrouble;
    }
    std::string before;
    if (!read_file(path, before)) {
        if (errno == EFBIG)
            fprintf(stderr, "vorn-fmt: %s: larger than %zu MiB, the most vorn-fmt formats; it is left as it was\n",
                    path.c_str(), MaxFormattedFileSize >> 20);
        else
            fprintf(stderr, "vorn-fmt: %s: %s\n", path.c_str(), strerror(errno));
        return ExitTrouble;
    }
    std::string after = vorn::format_text(before, options.format);
    bool changes = after != before;
    if (options.diff && changes) {
        std::string diff = vorn::format_diff(path, before, after);
        fwrite(diff.data(), 1, diff.size(), stdout);
    }
    if (options.check) {
        if (changes && !options.diff)
            printf("%s\n", path.c_str());
        return changes ? ExitWouldChange : ExitFormatted;
    }
    if (options.diff)
        return ExitFormatted;
    if (path == StandardStreams) {
        fwrite(after.data(), 1, after.size(), stdout);
        return ExitFormatted;
    }
    if (!changes)
        return ExitFormatted;
    std::string why = vorn::replace_file(path.c_str(), after.data(), after.size());
    if (!why.empty()) {
        fprintf(stderr, "vorn-fmt: %s: cannot write the formatted file (%s); it is left as it was\n",
                path.c_str(), why.c_str());
        return ExitTrouble;
    }
    return ExitFormatted;
}

}  // namespace

static int fmt_main(int argc, char** argv) {
    Options options;
    CLI::App app{"Rewrites VORN scripts into one layout: statements indented by one unit, no\n"
                 "blanks inside a call's parentheses, one blank after each ',', single blanks\n"
                 "between the words of directives and labels, no trailing blanks. A line keeps\n"
                 "its number and its meaning; a line whose meaning a change could touch is left\n"
                 "as it is. Files are rewritten in place, a folder's .vs files all; '-'\n"
                 "formats standard input to standard output.",
                 "vorn-fmt"};
    app.add_option("files", options.files,
                   "the script files to format, folders (every .vs file under them), or - for "
                   "standard input")
        ->required()
        ->type_name("FILE");
    app.add_flag("-l,--check", options.check,
                 "change nothing; print the name of each file that is not in the layout and end "
                 "with status 1 if there is one");
    app.add_flag("-d,--diff", options.diff, "change nothing; print the changes as a unified diff");
    app.add_option("--indent", options.format.indent_width, "blanks in a statement's indentation")
        ->type_name("N")
        ->check(CLI::Range(1u, vorn::MaxIndentWidth))
        ->default_val(4);
    app.add_flag("--tabs", options.format.use_tabs, "indent statements with one tab");
    app.set_version_flag("--version", "vorn-fmt " VORN_VERSION);
    std::optional<int> status = parse_command_line(
        app, argc, argv, "[-l|--check] [-d|--diff] [--indent N | --tabs] FILE|DIR...", [] {});
    if (status)
        return *status == ExitUsage ? ExitTrouble : *status;

    int result = ExitFormatted;
    for (const std::string& name : options.files)
        for (const std::string& path : expand(name, result))
            result = std::max(result, format_file(options, path));
    if (fflush(stdout) != 0) {
        fprintf(stderr, "vorn-fmt: cannot write to standard output: %s\n", strerror(errno));
        return ExitTrouble;
    }
    return result;
}

int main(int argc, char** argv) {
    return guarded_main("vorn-fmt", [&] { return fmt_main(argc, argv); });
}
