// vorn-check: compiles a script as vorn does and reports its diagnostics in the forms that
// editors, CI and build systems read.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include <vorn/edit_check.h>
#include <vorn/project.h>
#include <vorn/gnu_form.h>
#include <vorn/output_file.h>
#include <vorn/read_file.h>
#include <vorn/warning_options.h>
#include "../tools/command_line.h"
#include "../tools/warning_flags.h"
#include "reports.h"
#include "../tools/guarded_main.h"
#include "../tools/project_lookup.h"

namespace {

// A dependency file that cannot be written ends the run as an output file that cannot be.
constexpr int ExitCannotWrite = 3;

struct Options {
    std::vector<std::string> scripts;
    bool project = false;
    std::string format = "gnu";
    // Every error is reported by default; --no-keep-going stops at the first fatal one.
    bool keep_going = true;
    // Given on the command line, even as an empty name: that is an output that cannot be written.
    std::optional<std::string> output;
    std::optional<std::string> deps;
    std::string deps_target;
    bool deps_phony = false;
    std::string directory;
    vorn::WarningOptions warnings;
    bool fix = false;
    bool caret = true;
    vorn::ColourWhen colour = vorn::ColourWhen::Auto;
};

// --fix checks and fixes again (in memory) while a pass makes fixes, at most this many times.
constexpr int MaxFixPasses = 64;

// The largest script --fix reads to rewrite.
constexpr std::size_t MaxFixedFileSize = std::size_t{64} << 20;

// The name a script read from standard input goes by.
constexpr const char* StdinName = "<stdin>";

// vorn's status for a script that cannot be opened, for standard input that cannot be read whole.
constexpr int ExitCannotReadScript = 2;

// The most of a script read from standard input: it is kept whole, for the compile and for the
// source lines under its diagnostics (a file is read in pieces, and its lines again from disk).
constexpr std::size_t MaxStdinSize = std::size_t{64} << 20;

// Standard input, whole; nothing when it holds more than MaxStdinSize bytes.
std::optional<std::string> read_standard_input() {
    std::string text;
    char block[1 << 16];
    std::size_t got;
    while ((got = fread(block, 1, sizeof block, stdin)) > 0) {
        if (text.size() + got > MaxStdinSize)
            return std::nullopt;
        text.append(block, got);
    }
    return text;
}

// How a character that make cannot read is named in a message.
[[maybe_unused]] std::string character_name(char c) {
    return c == '\n' ? std::string("a line end") : std::string("'") + c + "'";
}

// Writes text to path with the compiled file's own safety, unless path names one of the files
// the run read; false (reported) if it cannot.
bool write_text(const std::string& path, const std::string& text, const vorn::CompileResult& read) {
    if (path.empty()) {
        fprintf(stderr, "vorn-check: cannot write the --deps file: its name is empty\n");
        return false;
    }
    vorn::OutputWrite written =
        vorn::write_output_file(path.c_str(), text.data(), text.size(), vorn::files_read(read));
    if (written == vorn::OutputWrite::Written)
        return true;
    if (written == vorn::OutputWrite::IsInput)
        fprintf(stderr, "vorn-check: cannot write %s: it is an input file\n", vorn::escaped_text(path).c_str());
    else
        fprintf(stderr, "vorn-check: cannot write %s\n", path.c_str());
    return false;
}

// Writes the dependency file, unless a file the compile read has a name that make cannot read.
// Standard input is no file make could look at: it is left out.
bool write_dependencies(const Options& options, const vorn::CompileResult& result,
                        const std::string& target, bool from_stdin) {
    std::string skip = from_stdin ? StdinName : "";
    for (const vorn::SourceRecord& file : result.files)
        if (std::optional<std::string> what = file.path == skip ? std::nullopt : unreadable_by_make(file.path)) {
            fprintf(stderr, "vorn-check: cannot write %s: make cannot read the name %s, which holds %s\n",
                    vorn::escaped_text(*options.deps).c_str(), vorn::escaped_text(file.path).c_str(),
                    what->c_str());
            return false;
        }
    return write_text(*options.deps, dependency_file(result, target, options.deps_phony, skip), result);
}

// One script to compile: where it is compiled from (its project folder), and its path there.
struct Checked {
    std::string folder;
    std::string script;
    std::string display;
    vorn::CompileResult result;
    // Where the search for the lists looked, when it found none.
    std::string missing;
};

// The folder a script is compiled from: with -C (or for standard input) the current one,
// else the nearest folder from the script's own up that holds both lists, as every tool finds
// it; the current one when there is none, and then missing says where the search looked.
std::string project_folder_of(const Options& options, const std::string& script, const std::string& here,
                              std::string& missing) {
    // An empty name opens nothing, as vorn finds, and has no folder to look up from.
    if (!options.directory.empty() || script == "-" || script.empty())
        return here;
    vorn::ListsSearch search = vorn::find_lists(script);
    if (search.folder.empty())
        missing = vorn::lists_not_found(search);
    return search.folder.empty() ? here : search.folder;
}

// The GNU form as asked for: colour for a terminal, and the source lines read again from here.
struct GnuSetup {
    vorn::OverlayProvider files;
    vorn::ProviderLineReader lines{files};
    GnuForm form;
    explicit GnuSetup(const Options& options) {
        form.style.caret = options.caret;
        form.style.colour = vorn::colour_wanted(options.colour, isatty(STDOUT_FILENO) != 0, getenv("NO_COLOR"));
        form.lines = &lines;
    }
};

// For a shared file checked alone that has errors: "included by a.vs and b.vs: check it with
// them with 'vorn-check --project'", for its names may be defined there. Empty for any other.
std::string included_by(const Options& options, const Checked& c, ProjectLookup& lookup) {
    if (!options.directory.empty() || c.result.error_count == 0)
        return {};
    vorn::Project* found = lookup.project();
    if (!found)
        return {};
    vorn::Project& project = *found;
    std::string key = project.key(c.script);
    if (project.is_top(key))
        return {};
    std::vector<std::string> tops = project.tops_reaching(key);
    if (tops.empty())
        return {};
    std::string text = "included by ";
    for (std::size_t i = 0; i < tops.size(); ++i)
        text += (i == 0 ? "" : i + 1 == tops.size() ? " and " : ", ") + tops[i];
    return text + ": check it with them with 'vorn-check --project'";
}

// Passes every piece and diagnostic on, but holds back the warnings on a definition in
// another file that are judged over the project: they are known only once it is loaded.
class HoldSharedWarnings : public vorn::LineObserver {
public:
    HoldSharedWarnings(vorn::LineObserver* next, const std::string& script, bool hold)
        : next_(next), script_(std::filesystem::path(script).lexically_normal().string()), hold_(hold) {}
    void reached(const vorn::LineRecord& record, const unsigned char* code, const vorn::CompileResult& result) override {
        next_->reached(record, code, result);
    }
    void diagnosed(const vorn::Diagnostic& d) override {
        if (hold_ && vorn::judged_over_contexts(d.kind) && d.source >= static_cast<int>(vorn::FirstScriptRecord) &&
            std::filesystem::path(d.where.file).lexically_normal().string() != script_)
            held.push_back(d);
        else
            next_->diagnosed(d);
    }
    std::vector<vorn::Diagnostic> held;

private:
    vorn::LineObserver* next_;
    std::string script_;
    bool hold_;
};

// A script's warnings judged over the project its folder holds: a name of a shared file that
// another top script uses is used, and a warning on a shared file's definition stands only
// when every top script reaching it meets it (else it is said on this script's include
// line). The project is loaded only when the compile read a shared file and has such a
// warning or looks for unused names; unused-name is reported only on the files this compile
// read.
void judge_over_project(const Options& options, Checked& c, const std::string& here, bool judge, bool unused) {
    bool shares = std::any_of(c.result.files.begin(), c.result.files.end(),
                              [](const vorn::SourceRecord& f) { return f.includer >= 0 && f.opened; });
    bool judged = judge && std::any_of(c.result.diagnostics.begin(), c.result.diagnostics.end(),
                              [](const vorn::Diagnostic& d) { return vorn::judged_over_contexts(d.kind); });
    std::string folder = c.folder.empty() ? here : c.folder;
    std::unique_ptr<vorn::Project> project;
    if (shares && (unused || judged) && c.script != StdinName && vorn::holds_lists(folder)) {
        project = std::make_unique<vorn::Project>(folder);
        project->set_warnings(options.warnings.enabled);
        project->load();
        if (judged)
            project->judged_over_contexts(c.script, c.result);
    }
    if (!unused)
        return;
    std::vector<vorn::Diagnostic> found;
    if (project) {
        std::set<std::string> read;
        for (const vorn::SourceRecord& f : c.result.files)
            read.insert(project->key(f.path));
        found = project->unused_names(&c.result, c.script);
        std::erase_if(found, [&](const vorn::Diagnostic& d) { return !read.count(d.where.file); });
    } else {
        found = vorn::unused_names({&c.result});
    }
    for (vorn::Diagnostic& d : found)
        c.result.diagnostics.push_back(std::move(d));
}

// With collected, the diagnostics go there instead of being printed.
int check_scripts(const Options& options, vorn::CompileOptions compile_options,
                  std::vector<vorn::ContextDiagnostic>* collected = nullptr) {
    std::string here = std::filesystem::current_path().string();
    GnuSetup gnu(options);
    vorn::Compiler compiler;
    vorn::NullSink quiet;
    std::vector<Checked> checked(options.scripts.size());
    std::map<std::string, LoadedProject> projects;
    std::vector<std::unique_ptr<ProjectLookup>> lookups;
    // JSON of one script goes out as the compile finds each diagnostic, as the GNU lines do.
    std::optional<JsonPrinter> json;
    for (std::size_t i = 0; i < options.scripts.size(); ++i) {
        const std::string& given = options.scripts[i];
        Checked& c = checked[i];
        c.folder = project_folder_of(options, given, here, c.missing);
        PathRebase rebase{c.folder, here};
        c.script = given == "-" ? StdinName : rebase.into_folder(given);
        lookups.push_back(std::make_unique<ProjectLookup>(projects, c.folder, given == "-" ? "" : c.script));
        ProjectLookup& lookup = *lookups.back();
        if (compile_options.output_path && !options.output->empty() && c.folder != here)
            compile_options.output_path = std::filesystem::absolute(*options.output).string();
        vorn::OverlayProvider files(c.folder == here ? std::string() : c.folder);
        if (given == "-") {
            std::optional<std::string> read = read_standard_input();
            if (!read) {
                fprintf(stderr, "vorn-check: standard input holds more than %zu MiB, the most read "
                        "from it; name the script as a file instead\n", MaxStdinSize >> 20);
                return ExitCannotReadScript;
            }
            std::string text = std::move(*read);
            gnu.files.serve(StdinName, text);
            files.serve(StdinName, std::move(text));
        }
        // With one script, the GNU lines go out as the compile finds them, so that none need
        // be kept (a warning counted as an error is one as it is found); several scripts share
        // diagnostics, and JSON needs them all. unused-name, found once the compile is over,
        // is all the result keeps, and follows the rest.
        GnuPrinter printer(stdout, gnu.form, &rebase);
        vorn::CompileOptions these = compile_options;
        if (options.format == "json" && options.scripts.size() == 1 && !collected)
            json.emplace(stdout, rebase.to_here(c.script), &rebase);
        // An unknown name that only a file the script does not include defines is explained
        // by the project, loaded when the first such error is about to be written.
        ExplainingObserver explaining(json ? static_cast<vorn::LineObserver&>(*json) : printer, lookup);
        // A warning counted as an error is judged by this compile alone, which writes -o.
        bool hold = !these.warnings_as_errors.has(vorn::DiagnosticKind::RedefinedName) &&
                    !these.warnings_as_errors.has(vorn::DiagnosticKind::SharedVariableNumber);
        std::optional<HoldSharedWarnings> holder;
        if (options.scripts.size() == 1 && !collected && (options.format == "gnu" || json)) {
            holder.emplace(&explaining, c.script, hold);
            these.line_observer = &*holder;
            these.keep_diagnostics = false;
        }
        c.result = compiler.compile(c.script, files, quiet, these);
        if (holder)
            c.result.diagnostics.insert(c.result.diagnostics.end(), holder->held.begin(), holder->held.end());
        else
            for (vorn::Diagnostic& d : c.result.diagnostics)
                lookup.explain(d);
        // Counted as an error, unused-name was found by the compile, before it wrote -o.
        bool unused = options.warnings.enabled.has(vorn::DiagnosticKind::UnusedName) &&
                      !these.warnings_as_errors.has(vorn::DiagnosticKind::UnusedName);
        if (hold || unused)
            judge_over_project(options, c, here, hold, unused);
        vorn::count_warnings_as_errors(c.result, options.warnings);
        rebase.to_here(c.result);
        c.display = rebase.to_here(c.script);
    }
    std::vector<vorn::TopCompile> compiles;
    for (const Checked& c : checked)
        compiles.push_back(vorn::TopCompile{c.display, &c.result});
    if (collected) {
        *collected = vorn::merge_diagnostics(compiles);
        return vorn::combined_status(compiles);
    }
    // Where the search for the lists looked, or the includers of a shared file: after the
    // diagnostics in the GNU form, in the document's notes in JSON.
    std::vector<vorn::ProjectNote> notes;
    for (std::size_t i = 0; i < checked.size(); ++i) {
        const Checked& c = checked[i];
        std::string note = c.missing.empty() ? included_by(options, c, *lookups[i]) : c.missing;
        if (!note.empty())
            notes.push_back(vorn::ProjectNote{c.display, std::move(note)});
    }
    if (json)
        json->finish(compiles, checked[0].result.diagnostics, notes);
    else
        print_report(options.format, compiles, vorn::merge_diagnostics(compiles),
                     options.format == "json" ? notes : std::vector<vorn::ProjectNote>(), compiles.size() > 1, gnu.form);
    if (options.format == "gnu")
        for (const vorn::ProjectNote& note : notes)
            fprintf(stdout, "%s: note: %s\n", vorn::escaped_text(note.path).c_str(),
                    vorn::escaped_text(note.text).c_str());
    int status = vorn::combined_status(compiles);
    if (options.deps) {
        const vorn::CompileResult& result = checked[0].result;
        const std::string& target = options.deps_target.empty() ? *options.output : options.deps_target;
        if (!write_dependencies(options, result, target, options.scripts[0] == "-"))
            return status == vorn::StatusClean || status == vorn::StatusErrors ? ExitCannotWrite : status;
    }
    return status;
}

int check_project(const Options& options, std::vector<vorn::ContextDiagnostic>* collected = nullptr) {
    // The project of the nearest folder from here up that holds both lists, as for a script.
    vorn::ListsSearch search = options.directory.empty() ? vorn::find_lists() : vorn::ListsSearch{};
    vorn::Project project(search.folder.empty() ? std::filesystem::current_path().string() : search.folder);
    project.set_warnings(options.warnings.enabled);
    project.load();
    std::vector<vorn::TopCompile> compiles;
    for (const std::string& top : project.top_scripts()) {
        compiles.push_back(vorn::TopCompile{top, project.compile_of(top)});
    }
    // Judged over the project: unused-name, and the warnings on a shared file's definitions.
    std::vector<vorn::ContextDiagnostic> diagnostics = project.diagnostics();
    bool counted = false;
    for (vorn::ContextDiagnostic& c : diagnostics) {
        vorn::Diagnostic& d = c.diagnostic;
        if (d.severity == vorn::Severity::Warning && vorn::counts_as_error(options.warnings, d.kind)) {
            d.severity = vorn::Severity::Error;
            d.status = vorn::StatusErrors;
            counted = true;
        }
    }
    // Found above here, the project's paths are written to open from here.
    PathRebase rebase{project.folder(), std::filesystem::current_path().string()};
    std::vector<vorn::CompileResult> rebased;
    if (rebase.folder != rebase.here) {
        rebased.reserve(compiles.size());
        for (vorn::TopCompile& compile : compiles) {
            rebased.push_back(*compile.result);
            rebase.to_here(rebased.back());
            compile = vorn::TopCompile{rebase.to_here(compile.script), &rebased.back()};
        }
        for (vorn::ContextDiagnostic& c : diagnostics) {
            vorn::CompileResult one;
            one.diagnostics.push_back(std::move(c.diagnostic));
            rebase.to_here(one);
            c.diagnostic = std::move(one.diagnostics.front());
            c.context = rebase.to_here(c.context);
        }
    }
    int status = project.status();
    if (collected) {
        *collected = std::move(diagnostics);
        return status;
    }
    GnuSetup gnu(options);
    std::vector<vorn::ProjectNote> notes = project.notes();
    for (vorn::ProjectNote& note : notes)
        note.path = rebase.to_here(note.path);
    if (search.folder.empty() && options.directory.empty())
        notes.push_back(vorn::ProjectNote{"vorn-check", vorn::lists_not_found(search)});
    print_report(options.format, compiles, diagnostics, notes, true, gnu.form);
    return counted && status == vorn::StatusClean ? vorn::StatusErrors : status;
}

// Where a file is shown: relative to here when it lies under it, else as it is.
std::string shown_path(const std::string& path, const std::string& here) {
    std::filesystem::path relative = std::filesystem::path(path).lexically_relative(here);
    if (relative.empty() || *relative.begin() == "..")
        return path;
    return relative.string();
}

// --fix: makes every safe fix that holds for every top script reaching its file (checked in
// memory, compiling each before and after), rewrites each fixed file once, and says what it
// made, one line each: "FILE:LINE:COLUMN: fixed: DESCRIPTION", and what it did not make for
// the project's sake: "FILE:LINE:COLUMN: not made: DESCRIPTION (WHY)". Checking scripts, the
// other top scripts of their projects count too. Nothing (reported) when a file cannot be
// rewritten.
std::optional<int> fix_files(const Options& options, const vorn::CompileOptions& compile_options, FILE* out) {
    std::string here = std::filesystem::current_path().string();
    vorn::EditChecker checker(compile_options, nullptr, vorn::run_on_threads);
    std::vector<std::string> folders;
    auto add_project = [&](const std::string& folder) {
        vorn::Project project(folder);
        project.set_warnings(options.warnings.enabled);
        project.load();
        for (const std::string& top : project.top_scripts())
            checker.add_context(folder, top);
    };
    if (options.project) {
        add_project(here);
    } else {
        for (const std::string& given : options.scripts) {
            std::string missing;
            std::string folder = project_folder_of(options, given, here, missing);
            checker.add_context(folder, PathRebase{folder, here}.into_folder(given));
            if (std::find(folders.begin(), folders.end(), folder) == folders.end() && vorn::holds_lists(folder))
                folders.push_back(folder);
        }
    }
    auto more = [&] {
        for (const std::string& folder : folders)
            add_project(folder);
    };
    // Checking scripts, only what their compiles read is fixed; the project's other top
    // scripts judge it.
    std::size_t asked = options.project ? SIZE_MAX : checker.context_count();
    std::vector<vorn::FixOutcome> outcomes = vorn::fix_in_memory(checker, more, MaxFixPasses, asked);
    bool written = true;
    std::set<std::string> kept;
    vorn::FileSystemProvider disk;
    for (const vorn::EditChecker::Changed& file : checker.changed()) {
        std::string shown = vorn::escaped_text(shown_path(file.path, here));
        std::optional<std::string> now = vorn::read_whole_file(disk, file.path, MaxFixedFileSize);
        if (!now || *now != file.original) {
            fprintf(stderr, "vorn-check: %s changed while it was being fixed: left as it is\n", shown.c_str());
            written = false;
            continue;
        }
        // The file itself, not a link to it, is replaced: the links keep reaching it.
        std::error_code error;
        std::filesystem::path target = std::filesystem::canonical(file.path, error);
        std::string why = error ? error.message() : vorn::replace_file(target.c_str(), file.text.data(), file.text.size());
        if (!why.empty()) {
            fprintf(stderr, "vorn-check: cannot write %s (%s); it is left as it was\n", shown.c_str(), why.c_str());
            written = false;
            continue;
        }
        kept.insert(file.path);
    }
    bool made = false;
    for (const vorn::FixOutcome& o : outcomes) {
        vorn::Location where = o.where;
        where.file = shown_path(o.path, here);
        if (o.made && kept.count(o.path)) {
            made = true;
            fprintf(out, "%s: fixed: %s\n", vorn::location_text(where, "vorn-check").c_str(),
                    vorn::escaped_text(o.description).c_str());
        } else if (!o.made) {
            fprintf(out, "%s: not made: %s (%s)\n", vorn::location_text(where, "vorn-check").c_str(),
                    vorn::escaped_text(o.description).c_str(), vorn::escaped_text(o.why).c_str());
        }
    }
    fflush(out);
    if (!written)
        return std::nullopt;
    return made;
}

int check(const Options& options) {
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
        fprintf(stderr, "vorn-check: cannot change to directory %s: %s\n", options.directory.c_str(),
                strerror(errno));
        return ExitUsage;
    }
    vorn::CompileOptions compile_options;
    compile_options.explain = true;
    compile_options.warnings = options.warnings.enabled;
    for (std::size_t k = 0; k < vorn::DiagnosticKindCount; ++k) {
        auto kind = static_cast<vorn::DiagnosticKind>(k);
        if (options.warnings.enabled.has(kind) && vorn::counts_as_error(options.warnings, kind))
            compile_options.warnings_as_errors.add(kind);
    }
    compile_options.record_uses = options.warnings.enabled.has(vorn::DiagnosticKind::UnusedName);
    compile_options.keep_going = options.keep_going;
    compile_options.output_path = options.output;
    if (options.fix) {
        // JSON keeps standard output to its one document.
        if (!fix_files(options, compile_options, options.format == "json" ? stderr : stdout))
            return ExitCannotWrite;
    }
    if (options.project)
        return check_project(options);
    return check_scripts(options, compile_options);
}

}  // namespace

static int check_main(int argc, char** argv) {
    Options options;
    CLI::App app{"Checks VORN scripts as vorn compiles them, and reports every diagnostic as\n"
                 "FILE:LINE:COLUMN: error: TEXT (or as JSON). Each script is compiled from its\n"
                 "project folder: its own folder or the nearest one above that holds both\n"
                 "events.lst and command.lst (with -C, that directory).",
                 "vorn-check"};
    app.add_option("script", options.scripts, "the script files to check (- reads standard input)");
    app.add_flag("--project", options.project,
                 "check every top script of the project: the nearest directory from the current one "
                 "up that holds both lists (with -C, that directory)");
    app.add_option("--format", options.format, "gnu (the default) or json")
        ->check(CLI::IsMember({"gnu", "json"}));
    app.add_flag_callback("-k,--keep-going", [&options] { options.keep_going = true; },
                          "report an unknown command, a missing '(' or an include that cannot be "
                          "opened, skip that line and go on (the default)");
    app.add_flag_callback("--no-keep-going", [&options] { options.keep_going = false; },
                          "end the check there instead, with the status vorn gives");
    app.add_flag("--fix", options.fix,
                 "make every safe fix in place (checking as --keep-going does), print one line for "
                 "each, then report what is left");
    app.add_option("-o", options.output, "also write the compiled file, as vorn would");
    app.add_option("--deps", options.deps, "write a dependency file, as gcc -MD does");
    app.add_option("--deps-target", options.deps_target, "the target named in the dependency file "
                                                          "(default: the -o file)");
    app.add_flag("--deps-phony", options.deps_phony, "add an empty rule for each dependency");
    app.add_option("-C", options.directory, "run as if started in this directory");
    std::string colour = "auto";
    app.add_option("--color", colour, "colour diagnostics: auto (on a terminal, unless NO_COLOR is set), always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}))
        ->type_name("WHEN");
    app.set_version_flag("--version", "vorn-check " VORN_VERSION);
    app.footer(warning_options_help() + GnuFormHelp);
    std::vector<char*> args(argv, argv + argc);
    take_caret_options(args, options.caret);
    if (std::optional<int> status = take_warning_options("vorn-check", args, options.warnings))
        return *status;
    argc = static_cast<int>(args.size());
    argv = args.data();
    std::optional<int> status = parse_command_line(app, argc, argv, "[options] <script file>", [&] {
        options.colour = ColourChoices.at(colour);
        if (app.count("-C") > 0 && options.directory.empty())
            throw CLI::ValidationError("-C", "names no directory: the name is empty");
        if (options.project && !options.scripts.empty())
            throw CLI::ValidationError("--project", "checks the whole project: name no scripts with it");
        if (!options.project && options.scripts.empty())
            throw CLI::RequiredError("script");
        bool one = !options.project && options.scripts.size() == 1;
        if (!one && options.output)
            throw CLI::ValidationError("-o", "needs exactly one script");
        if (!one && options.deps)
            throw CLI::ValidationError("--deps", "needs exactly one script");
        if (options.fix && std::count(options.scripts.begin(), options.scripts.end(), "-") > 0)
            throw CLI::ValidationError("--fix", "cannot rewrite standard input");
        if (std::count(options.scripts.begin(), options.scripts.end(), "-") > 1)
            throw CLI::ValidationError("script", "standard input can be read once");
        if (options.deps && !options.output && options.deps_target.empty())
            throw CLI::ValidationError("--deps", "needs -o or --deps-target to name the target");
        if (!options.deps)
            return;
        const char* option = options.deps_target.empty() ? "-o" : "--deps-target";
        const std::string& target = options.deps_target.empty() ? *options.output : options.deps_target;
        if (std::optional<std::string> what = unreadable_by_make(target))
            throw CLI::ValidationError(option, "make cannot read a target that holds " + *what);
    });
    if (status)
        return *status;
    vorn::allow_deepest_include_chain();
    return check(options);
}

int main(int argc, char** argv) {
    return guarded_main("vorn-check", [&] { return check_main(argc, argv); });
}
