// The library's entry points: a compile from lists to compiled file, and the lists alone.
#include <cstdlib>

#include "../codegen/script_file.h"
#include "../common/diagnostics.h"
#include <vorn/language.h>
#include "../common/source_reader.h"
#include "../frontend/compile_file.h"
#include "../frontend/named_values.h"
#include "../frontend/uses.h"
#include "../frontend/warnings.h"
#include "../lists/lists.h"
#include "../report/explain.h"
#include <vorn/compiler.h>
#include <vorn/warning_options.h>
namespace vorn {

struct Compiler::Storage {
    NameTables tables;
    ~Storage() {
        free(tables.defvars);
        free(tables.defnums);
    }
};

Compiler::Compiler() : storage_(std::make_unique<Storage>()) {}
Compiler::~Compiler() = default;

// Makes room for capacity records, once: a later compile keeps the first one's storage.
template <typename Record>
static void allocate_table(CompileState& s, Record** table, int capacity, DiagnosticKind no_memory) {
    if (!*table)
        *table = static_cast<Record*>(malloc(sizeof(Record) * static_cast<std::size_t>(capacity)));
    if (!*table) {
        const Location nowhere;
        fail_at(s, no_memory, &nowhere);
    }
}

static void run(CompileState& s, const std::string& script) {
    if (s.options.output_path)
        remember_output_file(s, *s.options.output_path);
    load_event_list(s);
    load_command_list(s);
    // The lists' warnings go to the line observer before the first line is reached.
    pass_on_diagnostics(s);
    allocate_table(s, &s.tables->defvars, MaxDefvars, DiagnosticKind::NoMemoryDefvars);
    allocate_table(s, &s.tables->defnums, MaxDefnums, DiagnosticKind::NoMemoryDefnums);
    for (int i = 0; i < EntryTableSize; ++i) {
        s.place_table[i] = NoEntry;
        s.event_entries[i] = NoEntry;
    }
    for (const PredefinedVariable& variable : PredefinedVariables)
        add_defvar(s, variable.name, variable.number, nullptr);
    compile_file(s, script, nullptr);
    // unused-name is known only now. Counted as an error, it is one of this compile's errors,
    // found before the compiled file is written, so that a run with one writes no file.
    if (s.options.warnings_as_errors.has(DiagnosticKind::UnusedName) && s.uses)
        for (Diagnostic& unused : unused_names({&s.result})) {
            unused.severity = Severity::Error;
            unused.status = StatusErrors;
            keep(s, std::move(unused));
        }
    s.result.code.assign(s.code, s.code + s.code_pos);
    s.result.event_entries.assign(s.event_entries, s.event_entries + EntryTableSize);
    s.result.place_entries.assign(s.place_table, s.place_table + EntryTableSize);
    if (s.error_count != 0) {
        s.result.status = StatusErrors;
        return;
    }
    s.result.compiled = compose_compiled_file(s.result.code, s.result.event_entries,
                                              s.result.place_entries);
    if (s.options.output_path)
        write_script_file(s, s.result.compiled);
}

CompileResult Compiler::compile(const std::string& script, SourceProvider& provider,
                                OutputSink& sink, const CompileOptions& options) {
    CompileResult result;
    // The state is large (the code area and the entry tables), so it lives on the heap.
    auto s = std::make_unique<CompileState>(&storage_->tables, provider, sink, options, result);
    // Made only when asked for: a compile that does not record uses keeps its usual frame.
    std::unique_ptr<UseRecorder> uses;
    if (options.record_uses) {
        uses = std::make_unique<UseRecorder>();
        s->uses = uses.get();
    }
    if (options.explain)
        s->explainer = explain;
    std::unique_ptr<LineWarnings> warnings;
    if (options.warnings.any()) {
        warnings = std::make_unique<LineWarnings>();
        s->warnings = warnings.get();
        s->defer_diagnostics = options.line_observer && !options.keep_diagnostics;
    }
    try {
        run(*s, script);
        pass_on_diagnostics(*s);
    } catch (const FatalEnd& end) {
        close_all_sources(*s);
        pass_on_diagnostics(*s);
        result.status = end.status;
        result.fatal = true;
        if (result.code.empty())
            result.code.assign(s->code, s->code + s->code_pos);
    } catch (const StopRequested&) {
        close_all_sources(*s);
        result.stopped = true;
    }
    result.error_count = s->error_count;
    return result;
}

ListsResult load_lists(SourceProvider& provider, OutputSink& sink) {
    CompileResult result;
    const CompileOptions options;
    CompileState s(nullptr, provider, sink, options, result);
    ListsResult lists;
    try {
        load_event_list(s);
        load_command_list(s);
    } catch (const FatalEnd&) {
        close_all_sources(s);
        lists.error = result.diagnostics.back();
    }
    lists.lists = std::move(result.lists);
    return lists;
}

void RecordingSink::write(OutputKind kind, std::string_view text) {
    pieces.push_back(Piece{kind, std::string(text)});
}

std::string RecordingSink::text() const {
    std::string all;
    for (const Piece& piece : pieces)
        all += piece.text;
    return all;
}

}  // namespace vorn
