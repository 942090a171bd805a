// Everything a compile gives back as data: its status, diagnostics, files, lines,
// definitions and code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "language.h"
#include "sources.h"
#include "warning_set.h"

namespace vorn {

// A file the compile read, or tried to read.
struct SourceRecord {
    std::string path;
    // Index of the file whose include line named it, and that line; -1 and 0 for the top
    // script and the lists.
    int includer = -1;
    uint32_t include_line = 0;
    bool opened = false;
    // Who the opened file is (for the outputs that must not be one of the run's inputs).
    FileId id{};
    // With options.record_lines, how many pieces had been recorded when the compile reached
    // this file: its own pieces, and those of the files it includes, follow from that index.
    uint32_t first_piece = 0;
    // For an include that could not be opened because its name was cut at a '/' that starts
    // a comment: the file the whole word names, which the writer meant (empty otherwise).
    std::string meant;
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
    // The code offset where what it compiles to starts: a statement's command byte, an
    // argument's tag; for a label or an include, the code offset it stands at.
    uint32_t code_offset = 0;
};

struct CompileResult;

// Told of every piece of every line as the compile reaches it, for a tool that handles lines
// as they come and keeps none of them (vorn-list's listing), where CompileResult::lines would
// grow with the input.
class LineObserver {
public:
    virtual ~LineObserver() = default;
    // Called before the piece is compiled: record.code_end is still record.code_begin, and
    // code holds the code area up to there, bytes that no later piece changes. result is the
    // result so far: the files opened up to this piece (the piece's own file last among
    // them where it has just been opened) and, where they are kept, the diagnostics so far.
    virtual void reached(const LineRecord& record, const unsigned char* code,
                         const CompileResult& result) = 0;
    // Called with each diagnostic as it is recorded: after reached() for the piece it stands
    // on, before the next piece is reached.
    virtual void diagnosed(const Diagnostic&) {}
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
    // Tell this observer of every piece of every line (it is not owned).
    LineObserver* line_observer = nullptr;
    // Keep every diagnostic in CompileResult::diagnostics. A tool whose line observer handles
    // each as it comes may turn this off, so that a script of countless errors takes no more
    // memory than a script of one.
    bool keep_diagnostics = true;
    // The warnings to look for; none (the default) costs the compile nothing. unused-name
    // needs the whole compile (or project) and is found by unused_names, from the uses; when
    // it is among warnings_as_errors and uses are recorded, the compile finds it itself,
    // before it writes the compiled file.
    WarningSet warnings;
    // The warnings counted as errors as they are found (-Werror): like every counted error,
    // they keep the compiled file from being written.
    WarningSet warnings_as_errors;
    // At most this many diagnostics are kept in the result (a fatal one always is); those
    // past it are still counted, and vorn's messages are still sent. A server sets it so that
    // a file of nothing but errors takes bounded memory; the tools keep every diagnostic.
    std::size_t max_diagnostics = SIZE_MAX;
    // Explain errors for a reader: an unknown name gets a note with the closest known one, a
    // wrong number of arguments the counts, and each what fixes it where that is clear
    // (Diagnostic::fixes). vorn prints none of it; a compile without it pays nothing.
    bool explain = false;
    // Asked every StopCheckLines lines: true abandons the compile, which then ends at once with
    // CompileResult::stopped set and a result that covers only the lines before. A server sets
    // it so that a compile of text that has changed again since is not finished.
    std::function<bool()> stop;
};

// How often a compile asks CompileOptions::stop, in lines: often enough that a stop is seen
// within a millisecond or so, seldom enough that asking costs nothing.
constexpr uint32_t StopCheckLines = 256;

// Statuses of a run that is not cut short; a fatal end has its diagnostic's status.
constexpr int StatusClean = 0;
constexpr int StatusErrors = 10;

struct CompileResult {
    int status = StatusClean;
    // Whether a fatal diagnostic ended the run (the last of diagnostics).
    bool fatal = false;
    // CompileOptions::stop ended the run early: the result is incomplete and is not to be used.
    bool stopped = false;
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

// The include chain of the file with index source in result's files: the includer of each
// file and the line of its include, innermost first (see GnuWriter).
IncludeChain include_chain(const CompileResult& result, int source);

// Both lists alone, as a compile loads them first (see load_lists): a problem with them is
// the one diagnostic, and the lists are then incomplete.
struct ListsResult {
    Lists lists;
    std::optional<Diagnostic> error;
};

}  // namespace vorn
