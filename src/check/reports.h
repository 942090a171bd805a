// What vorn-check writes: diagnostics in GNU form or as JSON, and a dependency file.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include <vorn/project.h>
#include <vorn/gnu_form.h>

// One line per diagnostic, "FILE:LINE:COLUMN: SEVERITY: TEXT" (error, warning or note), its
// notes, and a note where checking stopped; no caret, no colour.
std::string gnu_report(const vorn::CompileResult& result);

// How vorn-check writes the GNU form: its style (caret, colour) and where the source lines
// under the diagnostics come from (nullptr: none are shown).
struct GnuForm {
    vorn::GnuStyle style{false, false};
    vorn::SourceLineReader* lines = nullptr;
};

struct PathRebase;

// Prints each diagnostic in GNU form as the compile records it, so that none need be kept: a
// script of countless errors is checked in the memory of one. With a rebase, the file names
// are written to open from where the command started.
class GnuPrinter : public vorn::LineObserver {
public:
    GnuPrinter(FILE* out, const GnuForm& form, const PathRebase* rebase = nullptr)
        : out_(out), rebase_(rebase), writer_("vorn-check", "checking", form.style, form.lines) {}
    // Keeps the result so far, whose files name the includes of the diagnostics that follow.
    void reached(const vorn::LineRecord&, const unsigned char*, const vorn::CompileResult& result) override;
    void diagnosed(const vorn::Diagnostic& diagnostic) override;

private:
    FILE* out_;
    const PathRebase* rebase_;
    vorn::GnuWriter writer_;
    const vorn::CompileResult* result_ = nullptr;
};

// Writes json_report's document of one script as the compile goes: each diagnostic as the
// compile records it, so that none need be kept, and the other fields once it is over.
class JsonPrinter : public vorn::LineObserver {
public:
    // script: the top script as the report names it; with a rebase, the file names are
    // written to open from where the command started.
    JsonPrinter(FILE* out, std::string script, const PathRebase* rebase)
        : out_(out), script_(std::move(script)), rebase_(rebase) {}
    void reached(const vorn::LineRecord&, const unsigned char*, const vorn::CompileResult&) override {}
    void diagnosed(const vorn::Diagnostic& diagnostic) override;
    // Ends the document with late (found once the compile was over, its names already as the
    // report gives them) and the fields after the diagnostics, notes among them.
    void finish(const std::vector<vorn::TopCompile>& compiles, const std::vector<vorn::Diagnostic>& late,
                const std::vector<vorn::ProjectNote>& notes = {});

private:
    void write(const vorn::Diagnostic& diagnostic);
    FILE* out_;
    std::string script_;
    const PathRebase* rebase_;
    std::unordered_set<std::string> seen_;
    std::size_t written_ = 0;
};

// One JSON document with every field of every diagnostic, the files read and the status.
std::string json_report(const vorn::CompileResult& result);

// A dependency file as gcc -MD writes it: the target, then every file the compile read or
// tried to read; with phony, an empty rule for each of them too (named as a target is: a '%'
// there would make it a pattern rule, and a '|' there is plain).
// A file named skip (standard input's name) is left out: make cannot look at it.
std::string dependency_file(const vorn::CompileResult& result, const std::string& target, bool phony,
                            const std::string& skip = {});

// A path as make reads it among a rule's prerequisites: blanks, '#', ':' and '|' escaped with a
// backslash (the backslashes before them doubled), '$' as "$$". ninja reads the same, but for
// '|', which it keeps with its backslash (only costing a rebuild each time). The wildcards stay
// as they are: a name matches itself, and a backslash before one would stay in ninja's name.
std::string make_escaped(const std::string& path);

// A path as make reads it as a rule's target: as a prerequisite, and ':' and '%' escaped too.
std::string make_target_escaped(const std::string& target);

// What no escape lets make read in a name: a line end ends the rule, ';' starts its recipe and
// '=' makes the line an assignment. A leading '~' is a home folder to make (also after "./"),
// and a name ending in "(...)" a member of an archive.
constexpr const char* MakeUnreadable = "\n;=";

// What in name make cannot read in a rule, said for a message ("a line end", "';'"), if any.
std::optional<std::string> unreadable_by_make(const std::string& name);

// The diagnostics of one or more scripts, each once, in the GNU form; with contexts, a note
// names the top script that a shared file's diagnostic comes from (a check of one script
// leaves it out: there is only the one).
// compiles give the includes a diagnostic of a shared file was reached through (by its
// context's top script).
std::string gnu_report(const std::vector<vorn::ContextDiagnostic>& diagnostics,
                       const std::vector<vorn::ProjectNote>& notes = {}, bool contexts = true,
                       const std::vector<vorn::TopCompile>& compiles = {}, const GnuForm& form = {});

// The same as one JSON document: the combined status, every diagnostic with its context (the
// top script's path, or null), and each script with its own status and files; "files" is
// the one script's files when there is one.
std::string json_report(const std::vector<vorn::TopCompile>& compiles,
                        const std::vector<vorn::ContextDiagnostic>& diagnostics,
                        const std::vector<vorn::ProjectNote>& notes = {});

// Writes the report in format ("gnu" or "json") to standard output; contexts as gnu_report.
void print_report(const std::string& format, const std::vector<vorn::TopCompile>& compiles,
                  const std::vector<vorn::ContextDiagnostic>& diagnostics,
                  const std::vector<vorn::ProjectNote>& notes, bool contexts, const GnuForm& form);

// Paths of a compile made in a project folder, written so that they open from the folder the
// command was started in (here). Both folders are absolute; when they are the same, every
// path stays as it is.
struct PathRebase {
    std::string folder;
    std::string here;
    // A path given relative to here, as the compile in folder names it.
    std::string into_folder(const std::string& path) const;
    // A path the compile names, relative to here; absolute paths stay as they are.
    std::string to_here(const std::string& path) const;
    // Every file and diagnostic of result.
    void to_here(vorn::CompileResult& result) const;
};
