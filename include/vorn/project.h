// A project: the folder that holds both lists, every script under it, and each script seen in
// the context of the top scripts that include it.
//
// Scripts are the files under the folder whose names end in ".vs", and every file an include
// line opens. A top script is a script that no script includes; every other one is a shared
// file. Each top script is compiled as vorn compiles it when run in the project folder (with
// keep_going, lines and uses recorded), and a shared file is seen through the compiles that
// reach it: its diagnostics are those that arise in it in at least one of them, and its names
// resolve as they do there.
//
// Paths are as the compiler sees them when run in the project folder: relative to it, as
// written on include lines, with "." and ".." steps removed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <vorn/compiler.h>

namespace vorn {

// ---- The project folder --------------------------------------------------------------------

// Whether folder holds both lists; also_files are paths (absolute, normal) that count as files
// even when there is none on disk (an editor's unsaved documents). Asked of files, or of the
// file system.
bool holds_lists(SourceProvider& files, const std::string& folder, const std::vector<std::string>& also_files = {});
bool holds_lists(const std::string& folder, const std::vector<std::string>& also_files = {});

// The folder of path (absolute) or the nearest one above it, up to root (empty: the file
// system's root), that holds both lists; empty when there is none. Each folder is looked at
// once, from the deepest up.
std::string find_project_folder(SourceProvider& files, const std::string& path, const std::string& root = {},
                                const std::vector<std::string>& also_files = {});
std::string find_project_folder(const std::string& path, const std::string& root = {},
                                const std::vector<std::string>& also_files = {});

// Where a tool finds the lists for a script: the nearest folder from the script's own (for
// no script, the current one) up to the file system's root that holds both, as every tool but
// vorn finds them. folder is absolute, or empty when no folder holds both; start is the folder
// the search began in, relative to the current one where it lies inside it (".": that one).
struct ListsSearch {
    std::string folder;
    std::string start;
};
ListsSearch find_lists(const std::string& script = {});

// For a search that found nothing: "no folder from START up to / holds both events.lst and
// command.lst".
std::string lists_not_found(const ListsSearch& search);

// ---- Diagnostics in context ----------------------------------------------------------------

// A diagnostic and the top script whose compile it arose in.
struct ContextDiagnostic {
    Diagnostic diagnostic;
    // The top script, when the diagnostic stands in another script (a shared file); empty when
    // it stands in the top script itself, in a list, or in no file. The first of contexts.
    std::string context;
    // Every top script whose compile it arose in, in check order, when it stands in a shared
    // file (empty otherwise): the same diagnostic met by several compiles is one record.
    std::vector<std::string> contexts;
};

// "in the compile of a.vs", "in the compiles of a.vs and b.vs", "in the compiles of a.vs,
// b.vs and 3 other scripts": the note naming the contexts a diagnostic arose in (the first
// two by name); empty for none.
std::string contexts_note(const std::vector<std::string>& contexts);

// One compile of a top script, for merging.
struct TopCompile {
    std::string script;
    const CompileResult* result;
};

// Every diagnostic of the compiles, each once: one that arises in several compiles (the same
// kind, text and range of the same file) is kept from the first of them, in the order given.
std::vector<ContextDiagnostic> merge_diagnostics(const std::vector<TopCompile>& compiles);

// The status of several compiles checked in this order: 0 when all are clean, StatusErrors
// when some have errors and none ended fatally, else the status of the first that did.
int combined_status(const std::vector<TopCompile>& compiles);

// The warnings about a definition that are judged over the project when the definition
// stands in a shared file: one such line is one definition in every compile that reads it,
// so a warning stands there only when every context that reaches the line meets it
// (redefined-name, shared-variable-number). One that only some contexts meet is said in
// each of those on its top script's own include line that reaches the file: "in
// lib/shared.vs (included from here): 'Mood' is already defined; ...", with a note on the
// definition ("in the compile of b.vs this definition draws no warning"), then its own notes.
// unused-name is judged over the project too, by the uses of every compile
// (Project::unused_names).
bool judged_over_contexts(DiagnosticKind kind);

// ---- Names across files --------------------------------------------------------------------

enum class SymbolKind : uint8_t { Variable, Constant, EventLabel, Place, Command, Event, Condition, Include };

// A place in a project file: a file of the project (by its path) and a range of its line.
using Position = Location;

// One definition and everything that resolves to it, in every compile of the project.
struct Symbol {
    SymbolKind kind;
    // The name, the place's number, or the included file's path.
    std::string name;
    // Where it is defined: the name of a defvar, defnum, event label or place; the whole list
    // file for a command or an event (line 0); the whole file for an include target; nothing
    // (an empty file) for the predefined variables and the condition keywords.
    Location definition;
    // Every use, each once, ordered by file, line and column.
    std::vector<Location> uses;
};

// ---- Contexts --------------------------------------------------------------------------------
//
// A context is a top script whose compile reaches a place: every fact about a line of a shared
// file (its diagnostics, what a name there means, its definitions and uses) is known once per
// context, and an answer for the file is a fold over them. Tools ask the Project for the
// contexts and fold; they never pick one includer.

// One compile seen from a place: the top script, its compile, and the file's number in the
// compile's records (SourceRecord index; -1 when the compile did not open the file).
struct ContextView {
    std::string top;
    const CompileResult* result = nullptr;
    int source = -1;
};

// A symbol under a place as one context resolves it.
struct ContextSymbol {
    std::string top;
    const Symbol* symbol = nullptr;
};

// ---- The project ---------------------------------------------------------------------------

// Bounds of the walk over the project folder.
constexpr int MaxFolderDepth = 16;
constexpr std::size_t MaxFolderEntries = 100000;

struct WalkLimits {
    int depth = MaxFolderDepth;
    std::size_t entries = MaxFolderEntries;
};

// A remark about the project as a whole (a bound of the walk reached).
struct ProjectNote {
    std::string path;
    std::string text;
};

struct ProjectStats {
    // Compiles of top scripts since the project was made.
    std::size_t compiles = 0;
    // Folder entries looked at by the last walk.
    std::size_t entries = 0;
};

class Project {
public:
    // folder: the project folder (absolute or relative to the current folder). Its files are
    // read from the file system (regular files only, within FileSystemProvider's bound), or
    // from files, which must outlive the project.
    explicit Project(std::string folder, WalkLimits limits = {});
    Project(std::string folder, SourceProvider& files, WalkLimits limits = {});
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    const std::string& folder() const { return folder_; }

    // The warnings every compile looks for (none unless set); set before load().
    void set_warnings(const WarningSet& warnings) { warnings_ = warnings; }
    // How each top script is compiled (without the stop), for a tool that compiles one again.
    CompileOptions compile_options() const;

    // Walks the folder and compiles every top script. Called again, it walks again and
    // compiles only what changed since.
    void load();

    // Unsaved text: served in place of the file at path until forgotten. Both recompile what
    // read the file.
    void serve(const std::string& path, std::string text);
    // The same with immutable bytes the caller shares (an editor's document), not copied.
    void serve(const std::string& path, std::shared_ptr<const std::string> text);
    void forget(const std::string& path);

    // The file at path changed on disk, was added, or was removed: recompiles the top scripts
    // whose compile read it (or tried to), and updates which scripts are top scripts.
    void changed(const std::string& path);
    void added(const std::string& path);
    void removed(const std::string& path);
    void renamed(const std::string& from, const std::string& to);

    // ---- Queries ----

    // Every script, in path order.
    std::vector<std::string> scripts() const;
    // The top scripts, in the order they are checked (shallower first, then by path).
    const std::vector<std::string>& top_scripts() const { return tops_; }
    bool is_top(const std::string& path) const;
    // The compile of a top script; nullptr for any other path.
    const CompileResult* compile_of(const std::string& top) const;
    // The same compile, shared: it stays whole for its holders (every open document that
    // looks at it) when the script is compiled again; nullptr for any other path.
    std::shared_ptr<const CompileResult> shared_compile_of(const std::string& top) const;
    // The top scripts whose compile read path (for a top script, itself among them).
    std::vector<std::string> tops_reaching(const std::string& path) const;

    // The contexts reaching path: every top script whose compile opened it, in check order,
    // each with its compile. With line (from 1), only those whose compile reached that line
    // of it (a compile that ended fatally before it does not).
    std::vector<ContextView> contexts_reaching(const std::string& path) const;
    std::vector<ContextView> contexts_reaching(const std::string& path, uint32_t line) const;
    // The diagnostics that one context's compile meets in path (all its files when path is
    // empty), keyed as the project keys paths.
    std::vector<Diagnostic> diagnostics_in_context(const std::string& top, const std::string& path = {}) const;
    // symbols_at, per context: which symbol each context reaching the place resolves it to
    // (a context with no symbol there is left out).
    std::vector<ContextSymbol> symbols_in_contexts(const std::string& path, uint32_t line, uint32_t column) const;

    // Every diagnostic of the project, each once, in the order of the top scripts.
    std::vector<ContextDiagnostic> diagnostics() const;
    // Those that stand in one file.
    std::vector<ContextDiagnostic> diagnostics_of(const std::string& path) const;
    // The status of checking every top script, as combined_status gives it.
    int status() const;

    // Warnings judged over the project. diagnostics() gives them so judged already (and
    // unused-name too, when the project's warnings ask for it); these are for a tool that
    // compiles one script itself.
    // unused-name: every defvar and defnum that no compile of the project uses. With also,
    // a compile of also_script (made from the folder) counts in place of the project's own
    // compile of that script, if it has one.
    std::vector<Diagnostic> unused_names(const CompileResult* also = nullptr,
                                         const std::string& also_script = {}) const;
    // Keeps of the diagnostics of one compile of script (made from the folder) those that
    // hold over the project: a warning that judged_over_contexts names, on a definition in
    // another file, stays there only when each of the project's other contexts reaching its
    // line meets it too (same kind, same place). When script is a top script and some do
    // not, it is said instead on the script's own include line that reaches the file, as
    // diagnostics() says it; else it is dropped. The rest are kept as they are, in order.
    void judged_over_contexts(const std::string& script, CompileResult& compile) const;

    // Every definition with its uses, grouped by definition.
    const std::vector<Symbol>& symbols() const;
    // The symbols whose definition or one of whose uses covers line:column of path (columns
    // count bytes from 1): one for most places, several where a shared file's name resolves
    // to different definitions in different top scripts. Looked up in an index by file and
    // line, not by a scan of every use.
    std::vector<const Symbol*> symbols_at(const std::string& path, uint32_t line, uint32_t column) const;

    const std::vector<ProjectNote>& notes() const { return notes_; }
    const ProjectStats& stats() const { return stats_; }

    // Whether the script at path (a key) is the project's own: inside its folder and in no
    // folder below it that holds both lists (a project of its own).
    bool owns(const std::string& path) const;

    // path as the project keys it: relative to the folder where it lies inside it, normal.
    std::string key(const std::string& path) const;

    // Each compile from now on keeps at most this many diagnostics (CompileOptions::
    // max_diagnostics); by default every one.
    void limit_diagnostics(std::size_t per_compile) { max_diagnostics_ = per_compile; }

    // Asked during every compile from now on (CompileOptions::stop): true abandons the compile,
    // and the call that was compiling (serve, changed, load...) returns at once, interrupted.
    void set_stop(std::function<bool()> stop) { stop_ = std::move(stop); }
    // Whether the last call's compiles were abandoned: until resume() finishes them, the
    // queries see only the top scripts compiled before the stop.
    bool interrupted() const { return interrupted_; }
    // Compiles what an interrupted call left undone; nothing when it was not interrupted.
    void resume() { settle(); }

private:
    struct Compiled;
    class Files;

    void walk();
    void invalidate(const std::string& key);
    void settle();
    void compile_top(const std::string& key);
    std::vector<TopCompile> ordered_compiles() const;
    void build_symbols() const;
    void fold_over_contexts(std::vector<ContextDiagnostic>& merged) const;
    void index_occurrences() const;

    std::string folder_;
    WalkLimits limits_;
    WarningSet warnings_;
    std::size_t max_diagnostics_ = SIZE_MAX;
    std::function<bool()> stop_;
    bool interrupted_ = false;
    std::unique_ptr<SourceProvider> own_files_;  // the file system, when none was given
    SourceProvider* base_;                       // what files_ serves the rest from
    std::unique_ptr<Files> files_;
    std::unique_ptr<Compiler> compiler_;
    // The .vs files the walk found, in check order.
    std::vector<std::string> candidates_;
    std::vector<std::string> tops_;
    std::map<std::string, std::unique_ptr<Compiled>> compiled_;
    std::vector<ProjectNote> notes_;
    ProjectStats stats_;
    mutable std::vector<Symbol> symbols_;
    // Every definition and use of symbols_ by file, ordered by line and column: what
    // symbols_at looks in.
    struct Occurrence {
        uint32_t line;
        uint32_t column;
        uint32_t end_column;
        uint32_t symbol;  // index in symbols_
    };
    mutable std::unordered_map<std::string, std::vector<Occurrence>> occurrences_;
    mutable bool symbols_stale_ = true;
};

}  // namespace vorn
