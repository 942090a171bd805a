// The VORN compiler as a library: what every tool (vorn, vorn-check, vorn-dis, the tests and the
// fuzzer) links.
//
// A compile takes its inputs through a SourceProvider, sends the text vorn prints to an
// OutputSink, and returns everything else as data in a CompileResult: the status, the
// diagnostics with their positions, the files read, the definitions, and the code. Nothing of
// one compile leaks into the next; the library never exits the process and never writes to
// standard output on its own.
//
// Fatal ends unwind to compile() as a C++ exception that compile() catches, so everything the
// library keeps between calls lives in objects with destructors; callers see no exceptions
// (except std::bad_alloc from their own containers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vorn {

// ---- Limits and records of the language ---------------------------------------------------

// A name is stored NUL-terminated in 32 bytes, so it has at most 31 characters.
constexpr std::size_t NameSize = 32;

struct NameEntry {
    char name[NameSize];
    uint16_t value;
};

struct CommandEntry {
    char name[NameSize];
    uint16_t code;
    uint16_t arg_count;
};

constexpr int MaxEvents = 256;
constexpr int MaxCommands = 256;
constexpr int MaxDefvars = 256;
constexpr int MaxDefnums = 1024;
constexpr int CodeBufferSize = 8192;
constexpr int EntryTableSize = 256;

// An entry-table slot that no label has set.
constexpr uint16_t NoEntry = 0xFFFF;

// The two lists a script may use, as loaded from events.lst and command.lst.
struct Lists {
    std::vector<NameEntry> events;
    std::vector<CommandEntry> commands;

    // Index of the first entry with exactly this name, or -1.
    int find_event(const char* name) const;
    int find_command(const char* name) const;
};

// ---- Inputs --------------------------------------------------------------------------------

// Identity of a file, used to tell when two paths name the same file.
struct FileId {
    uint64_t device;
    uint64_t inode;
    bool operator==(const FileId&) const = default;
};

// One open input file, read from the start to its end.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to size bytes; returns how many (0 at the end), or -1 on a read error.
    virtual long read(unsigned char* into, std::size_t size) = 0;
    // Who the file is, for the include-cycle and output-is-input checks.
    virtual FileId id() const = 0;
};

// Where scripts, their includes and the two lists come from. Paths are passed as they are
// written on the command line or on an include line.
class SourceProvider {
public:
    virtual ~SourceProvider() = default;
    // Opens a file for reading; nullptr if it cannot be opened.
    virtual std::unique_ptr<InputFile> open(const std::string& path) = 0;
    // Who the file at path is, if there is one.
    virtual std::optional<FileId> identify(const std::string& path) = 0;
};

// Reads the file system, relative paths relative to a folder (empty: the current one).
class FileSystemProvider : public SourceProvider {
public:
    explicit FileSystemProvider(std::string folder = {});
    std::unique_ptr<InputFile> open(const std::string& path) override;
    std::optional<FileId> identify(const std::string& path) override;
    // The path as the file system is asked for it: folder/path, or path itself.
    std::string resolve(const std::string& path) const;

private:
    std::string folder_;
};

// The file system, except for the paths whose text the caller serves (an editor's unsaved
// documents). A served path is matched after resolving it against the folder and removing
// "." and ".." steps, so "lib/a.vs" and "/project/./lib/a.vs" are the same document.
class OverlayProvider : public FileSystemProvider {
public:
    explicit OverlayProvider(std::string folder = {});
    void serve(const std::string& path, std::string text);
    void forget(const std::string& path);
    std::unique_ptr<InputFile> open(const std::string& path) override;
    std::optional<FileId> identify(const std::string& path) override;

private:
    std::string key(const std::string& path) const;
    std::unordered_map<std::string, std::string> texts_;
};

// ---- Output --------------------------------------------------------------------------------

// What vorn prints, by kind: trace lines ("Loaded 3 events", "Compiling x.vs:", "place: 1"),
// the echo of each cleaned line ("[...]" and a line end) and the diagnostics' texts.
enum class OutputKind : uint8_t { Trace, Echo, Message };

class OutputSink {
public:
    virtual ~OutputSink() = default;

    // Sends text, exactly what vorn prints, line end included where there is one. Most
    // pieces are short echoes, so while they fit the sink's buffer (if it has one) they are
    // copied there inline; the rest goes to put().
    void write(OutputKind kind, const char* text, std::size_t length) {
        if (length > room_)
            return put(kind, text, length);
        if (length <= ShortPiece) {
            for (std::size_t i = 0; i < length; ++i)
                next_[i] = text[i];
        } else {
            memcpy(next_, text, length);
        }
        next_ += length;
        room_ -= length;
    }

    // Sends the echo of a cleaned line: "[", the line and "]" with a line end. The line
    // stands at frame + 1, with its NUL at frame[length + 1]; frame[0] and the two bytes
    // after the NUL are the caller's to lend, so that a line that goes to put() needs no copy.
    void echo(char* frame, std::size_t length) {
        if (length + 3 > room_) {
            frame[0] = '[';
            frame[length + 1] = ']';
            frame[length + 2] = '\n';
            put(OutputKind::Echo, frame, length + 3);
            frame[length + 1] = '\0';
            return;
        }
        next_[0] = '[';
        if (length <= ShortPiece) {
            for (std::size_t i = 0; i < length; ++i)
                next_[i + 1] = frame[i + 1];
        } else {
            memcpy(next_ + 1, frame + 1, length);
        }
        next_[length + 1] = ']';
        next_[length + 2] = '\n';
        next_ += length + 3;
        room_ -= length + 3;
    }

protected:
    // Takes what does not fit the buffer: for a sink without one, every piece.
    virtual void put(OutputKind kind, const char* text, std::size_t length) = 0;

    // Gives the sink a buffer to fill from next on, with room bytes free.
    void set_buffer(char* next, std::size_t room) {
        next_ = next;
        room_ = room;
    }
    char* buffer_next() const { return next_; }

private:
    static constexpr std::size_t ShortPiece = 16;
    char* next_ = nullptr;
    std::size_t room_ = 0;
};

// Drops everything.
class NullSink : public OutputSink {
protected:
    void put(OutputKind, const char*, std::size_t) override {}
};

// Keeps every piece of output in order.
class RecordingSink : public OutputSink {
public:
    struct Piece {
        OutputKind kind;
        std::string text;
    };
    std::vector<Piece> pieces;
    // Everything, as vorn would print it.
    std::string text() const;

protected:
    void put(OutputKind kind, const char* text, std::size_t length) override;
};

// ---- Results -------------------------------------------------------------------------------

enum class DiagnosticKind : uint8_t {
#define DIAGNOSTIC(id, kind, status, vorn_text, short_text) id,
#include "diagnostics.def"
#undef DIAGNOSTIC
};

// The kind's name as tools show it, e.g. "unknown-command".
const char* kind_name(DiagnosticKind kind);

// A place in a file. Lines and columns count from 1; column and end_column count bytes of the
// line as it is in the file, and end_column is one past the last byte. line 0 means the file as
// a whole, column 0 the line as a whole.
struct Location {
    std::string file;
    uint32_t line = 0;
    uint32_t column = 0;
    uint32_t end_column = 0;
};

// "FILE:LINE:COLUMN" as GNU tools write it, leaving out what the location does not have;
// tool stands in for a location without a file.
std::string location_text(const Location& where, const char* tool);

struct Diagnostic {
    DiagnosticKind kind;
    // A fatal diagnostic ended the run; status is what the run ends with because of it.
    bool fatal = false;
    int status = 0;
    Location where;
    // The running line number that vorn's texts quote: it runs on across included files.
    uint16_t running_line = 0;
    std::string text;
    std::string vorn_text;
    // Index in the result's files of the file being read when it was found (for an include
    // that cannot be opened, the includer); -1 when no file was open.
    int source = -1;
    // With options.record_lines, the index in CompileResult::lines of the piece the
    // diagnostic stands on; -1 for one that belongs to no line (the lists, a file as a whole,
    // the output) or when no lines are recorded.
    int32_t piece = -1;
};

// A file the compile read, or tried to read.
struct SourceRecord {
    std::string path;
    // Index of the file whose include line named it, and that line; -1 and 0 for the top
    // script and the lists.
    int includer = -1;
    uint32_t include_line = 0;
    bool opened = false;
    // With options.record_lines, how many pieces had been recorded when the compile reached
    // this file: its own pieces, and those of the files it includes, follow from that index.
    uint32_t first_piece = 0;
};

// One piece of a source line as it was compiled (a line longer than 299 characters is two
// or more pieces of the same line), and the code it emitted: [code_begin, code_end). The
// range of an include line holds the code of the file it includes; a piece that a fatal end
// cut short has code_end == code_begin, and its bytes run to the end of CompileResult::code.
struct LineRecord {
    uint32_t file;
    uint32_t line;
    // 1-based column where the piece starts (1, or 300 for a line's second piece).
    uint32_t column;
    uint16_t running_line;
    uint16_t code_begin;
    uint16_t code_end;
};

enum class DefinitionKind : uint8_t { Variable, Constant, EventLabel, Place };

struct Definition {
    DefinitionKind kind;
    std::string name;
    // The variable number, the constant as written (statements compile its low 16 bits:
    // -3 compiles as 65533), or the code offset of a label or a place.
    int32_t value;
    // The event's index in events.lst, or the place's number; -1 for named values.
    int index;
    // Where it is defined: the name's (or the place number's) range. The predefined
    // variables have an empty file.
    Location where;
    // Index in the result's files of the file it is defined in; -1 for the predefined ones.
    int source = -1;
};

// A name as a line uses it, recorded with options.record_uses: each argument that resolves
// to a condition keyword, a variable or a constant, each statement's command word, each event
// label's name and each include line that opens its file.
enum class UseKind : uint8_t { Condition, Variable, Constant, Command, Event, Include };

struct Use {
    UseKind kind;
    // What the name resolves to: the keyword's index (0 to 7); the index in the result's
    // definitions of the variable or constant (the first of its name, which is the one found);
    // the command's index in lists.commands; the event's index in lists.events; the index in
    // the result's files of the file an include opened.
    int32_t target;
    // The name's range (an include line's file name).
    Location where;
    // Index in the result's files of the file it is used in.
    int source = -1;
};

struct CompileOptions {
    // Where the compiled file goes, when the run has no errors; none: nothing is written.
    std::optional<std::string> output_path;
    // An unknown command, a missing '(' and an include that cannot be opened are counted
    // errors: the line is skipped, and checking goes on.
    bool keep_going = false;
    // Record a LineRecord for every piece of every line.
    bool record_lines = false;
    // Record a Use for every name a line resolves.
    bool record_uses = false;
};

// Statuses of a run that is not cut short; a fatal end has its diagnostic's status.
constexpr int StatusClean = 0;
constexpr int StatusErrors = 10;

struct CompileResult {
    int status = StatusClean;
    // Whether a fatal diagnostic ended the run (the last of diagnostics).
    bool fatal = false;
    uint16_t error_count = 0;
    std::vector<Diagnostic> diagnostics;
    // Both lists, then every script in the order the compile reached it.
    std::vector<SourceRecord> files;
    std::vector<LineRecord> lines;
    std::vector<Definition> definitions;
    // With options.record_uses, in the order the compile met them.
    std::vector<Use> uses;
    Lists lists;
    // The code area as compiled, and both entry tables (NoEntry where unset).
    std::vector<unsigned char> code;
    std::vector<uint16_t> event_entries;
    std::vector<uint16_t> place_entries;
    // The compiled file's bytes, for a run without errors.
    std::vector<unsigned char> compiled;
};

// ---- Compiling -----------------------------------------------------------------------------

// Compiles scripts, one after the other. The tables of named values are made once, with the
// first compile, and kept for the next; everything else is made afresh by each compile.
class Compiler {
public:
    Compiler();
    ~Compiler();
    Compiler(const Compiler&) = delete;
    Compiler& operator=(const Compiler&) = delete;

    // Loads the lists, compiles script and everything it includes, and, for a run without
    // errors, writes options.output_path (never a half-written or mixed file).
    CompileResult compile(const std::string& script, SourceProvider& provider, OutputSink& sink,
                          const CompileOptions& options = {});

private:
    struct Storage;
    std::unique_ptr<Storage> storage_;
};

// Loads both lists alone, as a compile does first; a problem with them is the one
// diagnostic of the result (with its status), and the lists are then incomplete.
struct ListsResult {
    Lists lists;
    std::optional<Diagnostic> error;
};
ListsResult load_lists(SourceProvider& provider, OutputSink& sink);

// ---- Reading lines as the compiler does ------------------------------------------------------

// A line is compiled in pieces of at most this many bytes, the line end included; a longer
// line goes on in the next piece, which is compiled as a line of its own.
constexpr std::size_t MaxPieceLength = 299;

// In a cleaned line, the quotes that open and close a string are replaced with these.
constexpr unsigned char CleanOpenQuote = 0xFF;
constexpr unsigned char CleanCloseQuote = 0xFE;

// A piece of a line as the compiler reads it after cleaning: the comment, the line end and
// every backslash removed, and string quotes replaced with the marks above.
struct CleanedLine {
    std::string text;
    // For each byte of text, the offset in the raw piece it was taken from.
    std::vector<uint32_t> raw_offsets;
    // Where cleaning stopped in the raw piece: its end, or the start of a comment or line end.
    uint32_t raw_end = 0;
};
// Cleans raw (a piece as read, up to a NUL byte if there is one) exactly as a compile does.
CleanedLine clean_line(std::string_view raw);

// Every level of an include chain keeps its file open, and the usual soft limit of 1024 open
// files would end a chain well within the nesting limit with "Cannot open file". A tool that
// compiles from the file system calls this once at start-up: it raises the process's soft
// limit so that the deepest chain allowed fits, as far as the hard limit lets it.
void allow_deepest_include_chain();

// Lays a compiled file out: the header, the code and the used part of both entry tables.
std::vector<unsigned char> compose_compiled_file(const std::vector<unsigned char>& code,
                                                 const std::vector<uint16_t>& event_entries,
                                                 const std::vector<uint16_t>& place_entries);

}  // namespace vorn
