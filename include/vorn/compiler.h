// Compiling scripts, and reading lines exactly as a compile does.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "language.h"
#include "output.h"
#include "result.h"
#include "sources.h"

namespace vorn {

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
ListsResult load_lists(SourceProvider& provider, OutputSink& sink);

// A piece of a line as the compiler reads it after cleaning: the comment, the line end and
// every backslash removed, and string quotes replaced with CleanOpenQuote and CleanCloseQuote.
struct CleanedLine {
    std::string text;
    // For each byte of text, the offset in the raw piece it was taken from.
    std::vector<uint32_t> raw_offsets;
    // Where cleaning stopped in the raw piece: its end, or the start of a comment or line end.
    uint32_t raw_end = 0;
};
// Cleans raw (a piece as read, up to a NUL byte or the end-of-file mark 0x1A, after which a
// compile reads nothing) exactly as a compile does.
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
