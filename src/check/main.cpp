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
#include <memory>
#include <set>
#include <optional>

#include <vorn/project.h>
#include <vorn/vorn.h>
#include <vorn/files.h>
#include "../tools/command_line.h"
#include "../tools/warning_flags.h"
#include "reports.h"

namespace {

// A dependency file that cannot be written ends the run as an output file that cannot be.
constexpr int ExitCannotWrite = 3;

struct Options {
    std::vector<std::string> scripts;
    bool project = false;
    std::string format = "gnu";
    bool keep_going = false;
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

// --fix checks and fixes again while a pass makes fixes, at most this many times.
constexpr int MaxFixPasses = 10;

// The largest script --fix reads to rewrite.
constexpr std::size_t MaxFixedFileSize = std::size_t{64} << 20;

// The name a script read from standard input goes by.
constexpr const char* StdinName = "<stdin>";

// How a character that make cannot read is named in a message.
std::string character_name(char c) {
    return c == '\n' ? std::string("a line end") : std::string("'") + c + "'";
}

// Writes text to path with the compiled file's own safety; false (reported) if it cannot.
bool write_text(const std::string& path, const std::string& text) {
    if (path.empty()) {
        fprintf(stderr, "vorn-check: cannot write the --deps file: its name is empty\n");
        return false;
    }
    vorn::OutputWrite written = vorn::write_output_file(path.c_str(), text.data(), text.size());
    if (written == vorn::OutputWrite::Written)
        return true;
    fprintf(stderr, "vorn-check: cannot write %s\n", path.c_str());
    return false;
}

// Writes the dependency file, unless a file the compile read has a name that make cannot read.
bool write_dependencies(const Options& options, const vorn::CompileResult& result,
                        const std::string& target) {
    for (const vorn::SourceRecord& file : result.files)
        if (std::optional<char> c = unreadable_by_make(file.path)) {
            fprintf(stderr, "vorn-check: cannot write %s: make cannot read the name %s, which holds %s\n",
                    vorn::escaped_text(*options.deps).c_str(), vorn::escaped_text(file.path).c_str(),
                    character_name(*c).c_str());
            return false;
        }
    return write_text(*options.deps, dependency_file(result, target, options.deps_phony));
}

// One script to compile: where it is compiled from (its project folder), and its path there.
struct Checked {
    std::string folder;
    std::string script;
    std::string display;
    vorn::CompileResult result;
};

// The folder a script is compiled from: with -C (or for standard input) the current one,
// else the nearest folder from the script's own up that holds both lists, as vorn-lsp finds
// it; the current one when there is none.
std::string project_folder_of(const Options& options, const std::string& script, const std::string& here) {
    if (!options.directory.empty() || script == "-")
        return here;
    std::string found = vorn::find_project_folder(std::filesystem::absolute(script).lexically_normal());
    return found.empty() ? here : found;
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

// The unused names of a script's compile, judged over the project its folder holds: a name
// of a shared file that another top script uses is used. Only the files this compile read
// are reported on.
std::vector<vorn::Diagnostic> unused_over_project(const Checked& c, const std::string& here) {
    std::vector<const vorn::CompileResult*> compiles{&c.result};
    std::unique_ptr<vorn::Project> project;
    bool shares = std::any_of(c.result.files.begin(), c.result.files.end(),
                              [](const vorn::SourceRecord& f) { return f.includer >= 0 && f.opened; });
    if (shares && c.script != StdinName && vorn::holds_lists(c.folder.empty() ? here : c.folder)) {
        project = std::make_unique<vorn::Project>(c.folder.empty() ? here : c.folder);
        project->load();
        for (const std::string& top : project->top_scripts())
            if (project->key(top) != project->key(c.script))
                compiles.push_back(project->compile_of(top));
    }
    std::set<std::string> read;
    for (const vorn::SourceRecord& f : c.result.files)
        read.insert(f.path);
    std::vector<vorn::Diagnostic> unused = vorn::unused_names(compiles);
    std::erase_if(unused, [&](const vorn::Diagnostic& d) { return !read.count(d.where.file); });
    return unused;
}

// With collected, the diagnostics go there instead of being printed.
int check_scripts(const Options& options, vorn::CompileOptions compile_options,
                  std::vector<vorn::ContextDiagnostic>* collected = nullptr) {
    std::string here = std::filesystem::current_path().string();
    GnuSetup gnu(options);
    vorn::Compiler compiler;
    vorn::NullSink quiet;
    std::vector<Checked> checked(options.scripts.size());
    for (std::size_t i = 0; i < options.scripts.size(); ++i) {
        const std::string& given = options.scripts[i];
        Checked& c = checked[i];
        c.folder = project_folder_of(options, given, here);
        PathRebase rebase{c.folder, here};
        c.script = given == "-" ? StdinName : rebase.into_folder(given);
        if (compile_options.output_path && !options.output->empty() && c.folder != here)
            compile_options.output_path = std::filesystem::absolute(*options.output).string();
        vorn::OverlayProvider files(c.folder == here ? std::string() : c.folder);
        if (given == "-") {
            std::string text(std::istreambuf_iterator<char>(std::cin), {});
            gnu.files.serve(StdinName, text);
            files.serve(StdinName, std::move(text));
        }
        // With one script, the GNU lines go out as the compile finds them, so that none need
        // be kept; several scripts share diagnostics, JSON needs them all, and so do the
        // warnings that are counted as errors or found only once the compile is over.
        GnuPrinter printer(stdout, gnu.form, &rebase);
        vorn::CompileOptions these = compile_options;
        const vorn::WarningOptions& w = options.warnings;
        bool after = w.all_errors || w.errors.any() || w.enabled.has(vorn::DiagnosticKind::UnusedName);
        if (options.format == "gnu" && options.scripts.size() == 1 && !after && !collected) {
            these.line_observer = &printer;
            these.keep_diagnostics = false;
        }
        c.result = compiler.compile(c.script, files, quiet, these);
        // Counted as an error, unused-name was found by the compile, before it wrote -o.
        if (options.warnings.enabled.has(vorn::DiagnosticKind::UnusedName) &&
            !these.warnings_as_errors.has(vorn::DiagnosticKind::UnusedName))
            for (vorn::Diagnostic& unused : unused_over_project(c, here))
                c.result.diagnostics.push_back(std::move(unused));
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
    print_report(options.format, compiles, vorn::merge_diagnostics(compiles), {}, compiles.size() > 1, gnu.form);
    int status = vorn::combined_status(compiles);
    if (options.deps) {
        const vorn::CompileResult& result = checked[0].result;
        const std::string& target = options.deps_target.empty() ? *options.output : options.deps_target;
        if (!write_dependencies(options, result, target))
            return status == vorn::StatusClean || status == vorn::StatusErrors ? ExitCannotWrite : status;
    }
    return status;
}

int check_project(const Options& options, std::vector<vorn::ContextDiagnostic>* collected = nullptr) {
    vorn::Project project(std::filesystem::current_path().string());
    project.set_warnings(options.warnings.enabled);
    project.load();
    std::vector<vorn::TopCompile> compiles;
    std::vector<const vorn::CompileResult*> results;
    for (const std::string& top : project.top_scripts()) {
        compiles.push_back(vorn::TopCompile{top, project.compile_of(top)});
        results.push_back(project.compile_of(top));
    }
    std::vector<vorn::ContextDiagnostic> diagnostics = project.diagnostics();
    // A name is unused when no compile of the project uses it.
    if (options.warnings.enabled.has(vorn::DiagnosticKind::UnusedName))
        for (vorn::Diagnostic& unused : vorn::unused_names(results))
            diagnostics.push_back(vorn::ContextDiagnostic{std::move(unused), {}, {}});
    bool counted = false;
    for (vorn::ContextDiagnostic& c : diagnostics) {
        vorn::Diagnostic& d = c.diagnostic;
        if (d.severity == vorn::Severity::Warning && vorn::counts_as_error(options.warnings, d.kind)) {
            d.severity = vorn::Severity::Error;
            d.status = vorn::StatusErrors;
            counted = true;
        }
    }
    int status = project.status();
    if (collected) {
        *collected = std::move(diagnostics);
        return status;
    }
    GnuSetup gnu(options);
    print_report(options.format, compiles, diagnostics, project.notes(), true, gnu.form);
    return counted && status == vorn::StatusClean ? vorn::StatusErrors : status;
}

// --fix: makes every safe fix of the diagnostics in the files they edit, writing each file
// as the compiled file is written, and says what it made, one line each:
// "FILE:LINE:COLUMN: fixed: DESCRIPTION", on out. Whether any fix was made; nothing (reported)
// when a file cannot be read or rewritten.
std::optional<bool> fix_files(const std::vector<vorn::ContextDiagnostic>& found, FILE* out) {
    // The safe fixes of each file, in the order they were found; a fix of several files is
    // made in none of them.
    std::vector<std::pair<std::string, std::vector<const vorn::Fix*>>> files;
    for (const vorn::ContextDiagnostic& c : found)
        for (const vorn::Fix& fix : c.diagnostic.fixes) {
            if (!fix.safe || fix.edits.empty())
                continue;
            const std::string& file = fix.edits[0].range.file;
            bool one_file = std::all_of(fix.edits.begin(), fix.edits.end(),
                                        [&](const vorn::Edit& e) { return e.range.file == file; });
            if (!one_file || file.empty() || file == StdinName)
                continue;
            auto at = std::find_if(files.begin(), files.end(), [&](const auto& f) { return f.first == file; });
            if (at == files.end())
                at = files.insert(files.end(), {file, {}});
            at->second.push_back(&fix);
        }
    bool written = true;
    bool made = false;
    vorn::FileSystemProvider disk;
    for (const auto& [file, fixes] : files) {
        std::optional<std::string> text = vorn::read_whole_file(disk, file, MaxFixedFileSize);
        if (!text) {
            fprintf(stderr, "vorn-check: cannot read %s to fix it\n", vorn::escaped_text(file).c_str());
            written = false;
            continue;
        }
        vorn::FixedText fixed = vorn::apply_fixes(*text, file, fixes);
        if (fixed.text == *text)
            continue;
        if (vorn::write_output_file(file.c_str(), fixed.text.data(), fixed.text.size()) !=
            vorn::OutputWrite::Written) {
            fprintf(stderr, "vorn-check: cannot write %s\n", vorn::escaped_text(file).c_str());
            written = false;
            continue;
        }
        made = true;
        for (std::size_t i = 0; i < fixes.size(); ++i)
            if (fixed.made[i])
                fprintf(out, "%s: fixed: %s\n", vorn::location_text(fixes[i]->edits[0].range, "vorn-check").c_str(),
                       vorn::escaped_text(fixes[i]->description).c_str());
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
        vorn::CompileOptions first = compile_options;
        first.keep_going = true;
        first.output_path.reset();
        // A fixed line may show what it hid (a line skipped for its unknown command, an
        // include that now opens): checked again, until nothing more is fixed.
        for (int pass = 0; pass < MaxFixPasses; ++pass) {
            std::vector<vorn::ContextDiagnostic> found;
            if (options.project)
                check_project(options, &found);
            else
                check_scripts(options, first, &found);
            // JSON keeps standard output to its one document.
            std::optional<bool> made = fix_files(found, options.format == "json" ? stderr : stdout);
            if (!made)
                return ExitCannotWrite;
            if (!*made)
                break;
        }
    }
    if (options.project)
        return check_project(options);
    return check_scripts(options, compile_options);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{"Checks VORN scripts as vorn compiles them, and reports every diagnostic as\n"
                 "FILE:LINE:COLUMN: error: TEXT (or as JSON). Each script is compiled from its\n"
                 "project folder: its own folder or the nearest one above that holds both\n"
                 "events.lst and command.lst (with -C, that directory).",
                 "vorn-check"};
    app.add_option("script", options.scripts, "the script files to check (- reads standard input)");
    app.add_flag("--project", options.project,
                 "check every top script of the project in the current directory (or -C's)");
    app.add_option("--format", options.format, "gnu (the default) or json")
        ->check(CLI::IsMember({"gnu", "json"}));
    app.add_flag("-k,--keep-going", options.keep_going,
                 "report an unknown command, a missing '(' or an include that cannot be opened, "
                 "skip that line and go on");
    app.add_flag("--fix", options.fix,
                 "make every safe fix in place (checking with --keep-going), print one line for "
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
    app.footer(std::string(WarningOptionsHelp) + GnuFormHelp);
    std::vector<char*> args(argv, argv + argc);
    take_caret_options(args, options.caret);
    if (std::optional<int> status = take_warning_options("vorn-check", args, options.warnings))
        return *status;
    argc = static_cast<int>(args.size());
    argv = args.data();
    std::optional<int> status = parse_command_line(app, argc, argv, "[options] <script file>", [&] {
        options.colour = ColourChoices.at(colour);
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
        if (std::optional<char> c = unreadable_by_make(target))
            throw CLI::ValidationError(option, "make cannot read a target that holds " + character_name(*c));
    });
    if (status)
        return *status;
    vorn::allow_deepest_include_chain();
    return check(options);
}
