// The state of one compile, passed explicitly to every stage: the long-lived tables it writes
// into, and the per-run values that a fresh CompileState starts anew.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include <vorn/grammar.h>
#include <vorn/compiler.h>
#include <vorn/language.h>
#include <vorn/output.h>
#include <vorn/result.h>
#include <vorn/sources.h>

namespace vorn {

struct SourceFile;
struct UseRecorder;
struct LineWarnings;
struct Span;

// The tables of named values and the code area: made once, and reused by every compile.
struct NameTables {
    NameEntry* defvars = {};
    NameEntry* defnums = {};
};

// A plain sink seen as a BufferedSink without a buffer: every piece goes straight to it. So the
// compile always writes through a BufferedSink, and the path of a line has no extra test.
class UnbufferedSink final : public BufferedSink {
public:
    explicit UnbufferedSink(OutputSink& sink) : sink_(sink) {}

protected:
    void put(OutputKind kind, std::string_view text) override { sink_.write(kind, text); }

private:
    OutputSink& sink_;
};

struct CompileState {
    CompileState(NameTables* tables, SourceProvider& provider, OutputSink& sink,
                 const CompileOptions& options, CompileResult& result)
        : tables(tables), provider(provider), unbuffered(sink), out(buffered_sink(sink, unbuffered)),
          options(options), result(result) {}

    NameTables* tables;
    SourceProvider& provider;
    // Where the output goes: the caller's sink when it is a BufferedSink, whose buffer the
    // compile fills directly, else that sink through unbuffered. Chosen once per compile.
    UnbufferedSink unbuffered;
    BufferedSink* out;

    static BufferedSink* buffered_sink(OutputSink& sink, UnbufferedSink& unbuffered) {
        auto* buffered = dynamic_cast<BufferedSink*>(&sink);
        return buffered ? buffered : &unbuffered;
    }
    const CompileOptions& options;
    // Diagnostics, files, lines and definitions go straight into the result.
    CompileResult& result;

    uint16_t defvar_count = 0;
    uint16_t defnum_count = 0;

    unsigned char code[CodeBufferSize] = {};
    uint16_t code_pos = 0;

    uint16_t event_entries[EntryTableSize] = {};
    uint16_t place_table[EntryTableSize] = {};

    uint16_t error_count = 0;
    // The running line number: one for every piece read, across all files.
    uint16_t line_number = 1;

    // Files being read, innermost first: the include stack, and how deep it is (next to the
    // counts above, where it takes no padding).
    int include_depth = 0;
    SourceFile* open_files = nullptr;

    // The output file as it stood before the run, and whether any input turned out to be it.
    std::optional<FileId> output_id;
    bool output_is_input = false;

    // The parts of the line being compiled, which its handler reads.
    vorn::LineParts line;

    // With options.record_uses, where the uses of names go; else nullptr.
    UseRecorder* uses = nullptr;
    // With options.warnings, what the warnings remember between lines; else nullptr.
    LineWarnings* warnings = nullptr;
    // With options.explain, what adds to an error found at a span of the current line the
    // notes and fixes that explain it; else nullptr. Explaining is a layer above the stages:
    // the entry point sets it.
    void (*explainer)(CompileState& s, vorn::Diagnostic& d, Span span) = nullptr;
    // Warnings are looked for after their line is compiled, and may add notes to what the line
    // reported: with a line observer and no diagnostics kept, a line's diagnostics are kept
    // until then, and passed on together (pass_on_diagnostics).
    bool defer_diagnostics = false;
    // How often the explanations read a file again to find a later definition (explain.h).
    uint16_t later_lookups = 0;

    const Lists& lists() const { return result.lists; }
};

// A fatal end on its way to the library's entry point.
struct FatalEnd {
    int status;
};

// A compile abandoned at CompileOptions::stop's request, on its way to the entry point.
struct StopRequested {};

}  // namespace vorn
