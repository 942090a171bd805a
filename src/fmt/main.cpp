// vorn-fmt: rewrites scripts into the one layout of vorn/format.h, in place, or checks them,
// or shows the change as a diff, or formats standard input to standard output.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include <vorn/files.h>
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

// Formats one file as the options ask; returns its status.
int format_file(const Options& options, const std::string& path) {
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
    if (vorn::write_output_file(path.c_str(), after.data(), after.size()) != vorn::OutputWrite::Written) {
        fprintf(stderr, "vorn-fmt: %s: cannot write the formatted file; it is left as it was\n",
                path.c_str());
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
                 "as it is. Files are rewritten in place; '-' formats standard input to\n"
                 "standard output.",
                 "vorn-fmt"};
    app.add_option("files", options.files, "the script files to format, or - for standard input")
        ->required()
        ->type_name("FILE");
    app.add_flag("--check", options.check,
                 "change nothing; print the name of each file that is not in the layout and end "
                 "with status 1 if there is one");
    app.add_flag("--diff", options.diff, "change nothing; print the changes as a unified diff");
    app.add_option("--indent", options.format.indent_width, "blanks in a statement's indentation")
        ->type_name("N")
        ->check(CLI::Range(1u, vorn::MaxIndentWidth))
        ->default_val(4);
    app.add_flag("--tabs", options.format.use_tabs, "indent statements with one tab");
    app.set_version_flag("--version", "vorn-fmt " VORN_VERSION);
    std::optional<int> status = parse_command_line(
        app, argc, argv, "[--check] [--diff] [--indent N | --tabs] FILE...", [] {});
    if (status)
        return *status == ExitUsage ? ExitTrouble : *status;

    int result = ExitFormatted;
    for (const std::string& path : options.files)
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
