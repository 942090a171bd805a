// libFuzzer target: runs the whole compiler in-process on one input.
//
// The input is cut on FileSeparator into up to five pieces: events.lst, command.lst, the top
// script main.vs, a second script inc.vs (main.vs reaches it with "include inc.vs"), and a
// last piece whose first byte picks the output path from a fixed set. A file whose piece is
// missing is removed, so that a list or script that cannot be opened is tried too.
//
// At start-up the harness makes a private folder, moves into it for good and sends standard
// output to /dev/null: the compiler still formats and writes every message, and nothing
// reaches a terminal. Corpus and artifact paths given to the fuzzer must therefore be absolute.
// Both programs return their exit status, a fatal end's too, without exiting the process.
//
// An input that compiles cleanly to the usual output must survive the round trip: the
// disassembler, run in-process too, lists out.bin, and the listing must compile back to the
// same bytes. A listing with notes (a file that no script reproduces) is accepted; anything
// else is a finding, and the harness aborts so that libFuzzer keeps the input. Standard output
// goes to the listing's file only while the disassembler runs; the disassembler's reports go
// to a file of their own in the work folder, shown only with a finding, so that standard error
// stays libFuzzer's (and the sanitizers').

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <vorn/language.h>
#include "disasm/dis_exit_status.h"
#include "disasm/disassembler.h"
#include "disasm/reports.h"
#include "driver/driver.h"

namespace {

constexpr unsigned char FileSeparator = 0x01;

const char* const InputFiles[] = {"events.lst", "command.lst", "main.vs", "inc.vs"};
constexpr std::size_t InputFileCount = sizeof InputFiles / sizeof InputFiles[0];
constexpr std::size_t ScriptPieceFirst = 2;

constexpr const char* TopScript = "main.vs";
constexpr const char* DefaultOutput = "out.bin";

// The round trip's files: the disassembler's listing of out.bin, what the listing compiles to,
// and the disassembler's reports (emptied before each run, shown when the round trip fails).
constexpr const char* Listing = "listing.vs";
constexpr const char* ListingOutput = "back.bin";
constexpr const char* DisReports = "dis-reports.txt";

// The first status of a listing with notes; below it (and above 0) the file was refused.
constexpr int FirstNoteStatus = vorn::dis::DisNumberForm;

// Larger than any compiled file: header, the whole code area and both full entry tables.
constexpr std::size_t CompiledFileRoom = 2 * vorn::MaxScriptFileSize;

// Where the compiled file may go. Never a path chosen by the input: the harness runs as
// whoever starts it and the compiler removes a partly written output.
const char* const OutputPaths[] = {
    DefaultOutput,  // the usual case
    "main.vs",      // the output is an input
    "inc.vs",       // the output is an included input
    "events.lst",   // the output is a list
    "no-such-folder/out.bin",
    ".",            // a directory
    "/dev/full",    // every write fails
    "/dev/null",    // a device, never removed
};
constexpr std::size_t OutputPathCount = sizeof OutputPaths / sizeof OutputPaths[0];

char work_folder[] = "/tmp/vorn-fuzz-XXXXXX";
FILE* dis_reports;

void remove_work_files() {
    for (const char* name : InputFiles)
        unlink(name);
    unlink(DefaultOutput);
    unlink(Listing);
    unlink(ListingOutput);
}

void remove_work_folder() {
    remove_work_files();
    if (dis_reports)
        fclose(dis_reports);
    unlink(DisReports);
    if (chdir("/") == 0)
        rmdir(work_folder);
}

bool write_file(const char* name, const uint8_t* data, std::size_t size) {
    FILE* fp = fopen(name, "wb");
    if (!fp)
        return false;
    bool written = fwrite(data, 1, size, fp) == size;
    return fclose(fp) == 0 && written;
}

// The compiler reads whatever file an include names. Only an escaped '/' ("\/") lets a
// cleaned line name a path outside the work folder (an unescaped one starts a comment, and
// a quote becomes a marker byte inside the name), and outside it lie files that never end
// (/dev/zero) or never answer (/dev/tty). Such inputs are not run.
bool leaves_work_folder(const uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; ++i)
        if (data[i] == '\\' && data[i + 1] == '/')
            return true;
    return false;
}

// The compiler's time is proportional to the lines it reads, and a file included several
// times by a file included several times multiplies them: four files of a kilobyte each can
// expand to a hundred million lines. That is a long compile, not a hang, so inputs that might
// expand past this many lines are not run; a timeout then means the compiler is stuck.
constexpr uint64_t MaxExpandedLines = 10000000;

// A script piece is read in pieces of at most 299 characters: a line per line end, or more.
constexpr std::size_t PieceLength = 299;

uint64_t count_lines(const uint8_t* data, std::size_t size) {
    uint64_t lines = 1 + size / PieceLength;
    for (std::size_t i = 0; i < size; ++i)
        lines += data[i] == '\n';
    return lines;
}

uint64_t count_includes(const uint8_t* data, std::size_t size) {
    static const char word[] = "include";
    const std::size_t length = sizeof word - 1;
    uint64_t includes = 0;
    for (std::size_t i = 0; i + length <= size; ++i)
        includes += memcmp(data + i, word, length) == 0;
    return includes;
}

// No file can be on the include stack twice, so the lines read are at most the lines of all
// files together times the product over the files of (1 + the includes in it).
bool may_expand_too_far(const uint8_t* const* pieces, const std::size_t* sizes, std::size_t count) {
    uint64_t lines = 0;
    uint64_t factor = 1;
    for (std::size_t i = 0; i < count; ++i) {
        lines += count_lines(pieces[i], sizes[i]);
        factor *= 1 + count_includes(pieces[i], sizes[i]);
        if (factor > MaxExpandedLines)
            return true;
    }
    return lines * factor > MaxExpandedLines;
}

// Runs one of the programs in-process, with the arguments copied to room of their own;
// returns its exit status, a fatal end's too.
int run_in_process(int (*program)(int, char**), const char* name, const char* first,
                   const char* second) {
    char args[3][64];
    snprintf(args[0], sizeof args[0], "%s", name);
    snprintf(args[1], sizeof args[1], "%s", first);
    snprintf(args[2], sizeof args[2], "%s", second ? second : "");
    char* argv[] = {args[0], args[1], second ? args[2] : nullptr, nullptr};
    int argc = second ? 3 : 2;
    return program(argc, argv);
}

// Runs the compiler on script; returns its exit status.
int compile(const char* script, const char* output) {
    int status = run_in_process(run_compiler, "vorn", script, output);
    fflush(stdout);
    return status;
}

// The disassembler, with its reports going to dis_reports.
int disassemble_to_reports(int argc, char** argv) { return run_disassembler(argc, argv, dis_reports); }

// Runs the disassembler on compiled with its listing going to the file listing; returns its
// exit status, a fatal end's too. Standard output goes back to /dev/null afterwards.
int disassemble(const char* compiled, const char* listing) {
    fflush(stdout);
    if (!freopen(listing, "w", stdout)) {
        perror("fuzz_compiler: cannot send standard output to the listing");
        abort();
    }
    rewind(dis_reports);
    if (ftruncate(fileno(dis_reports), 0) != 0) {
        perror("fuzz_compiler: cannot empty the disassembler's reports");
        abort();
    }
    int status = run_in_process(disassemble_to_reports, "vorn-dis", compiled, nullptr);
    fflush(dis_reports);
    // A listing cut short by a failed write would look like a round-trip fault.
    if (fflush(stdout) != 0 || ferror(stdout)) {
        perror("fuzz_compiler: cannot write the listing");
        abort();
    }
    if (!freopen("/dev/null", "w", stdout)) {
        perror("fuzz_compiler: cannot send standard output to /dev/null");
        abort();
    }
    return status;
}

// Reads the whole of a compiled file into room; returns its size.
std::size_t read_compiled(const char* name, unsigned char* room) {
    FILE* fp = fopen(name, "rb");
    if (!fp) {
        fprintf(stderr, "fuzz_compiler: cannot open %s/%s\n", work_folder, name);
        abort();
    }
    std::size_t size = fread(room, 1, CompiledFileRoom, fp);
    bool failed = ferror(fp) != 0 || size == CompiledFileRoom;
    fclose(fp);
    if (failed) {
        fprintf(stderr, "fuzz_compiler: cannot read %s/%s\n", work_folder, name);
        abort();
    }
    return size;
}

// Prints what the disassembler reported, after a round-trip fault.
void show_dis_reports() {
    rewind(dis_reports);
    int c;
    while ((c = getc(dis_reports)) != EOF)
        putc(c, stderr);
}

// Ends the process on a round-trip fault; the work folder stays, with the files to look at.
[[noreturn]] void round_trip_fault(const char* what, int status) {
    fprintf(stderr, "fuzz_compiler: round trip of %s/%s: %s (status %d)\n", work_folder, DefaultOutput,
            what, status);
    show_dis_reports();
    abort();
}

// The compiler has just written out.bin: list it and compile the listing back.
void check_round_trip() {
    int status = disassemble(DefaultOutput, Listing);
    if (status >= FirstNoteStatus)
        return;
    if (status != vorn::dis::DisSuccess)
        round_trip_fault("vorn-dis refuses the compiler's own output", status);
    status = compile(Listing, ListingOutput);
    if (status != 0)
        round_trip_fault("the listing does not compile", status);

    static unsigned char first[CompiledFileRoom];
    static unsigned char second[CompiledFileRoom];
    std::size_t first_size = read_compiled(DefaultOutput, first);
    std::size_t second_size = read_compiled(ListingOutput, second);
    std::size_t same = 0;
    while (same < first_size && same < second_size && first[same] == second[same])
        ++same;
    if (same < first_size || same < second_size) {
        fprintf(stderr, "fuzz_compiler: %s is %zu bytes, %s %zu; they differ from offset %zu\n",
                DefaultOutput, first_size, ListingOutput, second_size, same);
        round_trip_fault("the listing compiles to other bytes", status);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!mkdtemp(work_folder) || chdir(work_folder) != 0) {
        perror("fuzz_compiler: cannot make its work folder");
        abort();
    }
    atexit(remove_work_folder);
    if (!freopen("/dev/null", "w", stdout)) {
        perror("fuzz_compiler: cannot send standard output to /dev/null");
        abort();
    }
    dis_reports = fopen(DisReports, "w+");
    if (!dis_reports) {
        perror("fuzz_compiler: cannot make the disassembler's report file");
        abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const uint8_t* pieces[InputFileCount + 1] = {};
    std::size_t sizes[InputFileCount + 1] = {};
    std::size_t count = 0;
    const uint8_t* start = data;
    const uint8_t* end = data + size;
    while (count <= InputFileCount) {
        const auto* cut = static_cast<const uint8_t*>(memchr(start, FileSeparator, end - start));
        pieces[count] = start;
        sizes[count] = static_cast<std::size_t>((cut ? cut : end) - start);
        ++count;
        if (!cut)
            break;
        start = cut + 1;
    }
    for (std::size_t i = ScriptPieceFirst; i < InputFileCount && i < count; ++i)
        if (leaves_work_folder(pieces[i], sizes[i]))
            return -1;
    if (may_expand_too_far(pieces, sizes, count < InputFileCount ? count : InputFileCount))
        return -1;

    remove_work_files();
    for (std::size_t i = 0; i < InputFileCount && i < count; ++i)
        if (!write_file(InputFiles[i], pieces[i], sizes[i]))
            abort();
    const char* output = DefaultOutput;
    if (count > InputFileCount && sizes[InputFileCount] > 0)
        output = OutputPaths[pieces[InputFileCount][0] % OutputPathCount];

    if (compile(TopScript, output) == 0 && output == DefaultOutput)
        check_round_trip();
    return 0;
}
