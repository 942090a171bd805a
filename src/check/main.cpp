// vorn-check: compiles a script as vorn does and reports its diagnostics in the forms that
// editors, CI and build systems read.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include <vorn/vorn.h>
#include <vorn/files.h>
#include "../tools/command_line.h"
#include "reports.h"

namespace {

// A dependency file that cannot be written ends the run as an output file that cannot be.
constexpr int ExitCannotWrite = 3;

struct Options {
    std::string script;
    std::string format = "gnu";
    bool keep_going = false;
    std::string output;
    std::string deps;
    std::string deps_target;
    bool deps_phony = false;
    std::string directory;
};

// Writes text to path with the compiled file's own safety; false (reported) if it cannot.
bool write_text(const std::string& path, const std::string& text) {
    vorn::OutputWrite written = vorn::write_output_file(path.c_str(), text.data(), text.size());
    if (written == vorn::OutputWrite::Written)
        return true;
    fprintf(stderr, "vorn-check: cannot write %s\n", path.c_str());
    return false;
}

int check(const Options& options) {
    if (!options.directory.empty() && chdir(options.directory.c_str()) != 0) {
        fprintf(stderr, "vorn-check: cannot change to directory %s: %s\n", options.directory.c_str(),
                strerror(errno));
        return ExitUsage;
    }
    vorn::CompileOptions compile_options;
    compile_options.keep_going = options.keep_going;
    if (!options.output.empty())
        compile_options.output_path = options.output;
    vorn::FileSystemProvider files;
    vorn::NullSink quiet;
    vorn::Compiler compiler;
    vorn::CompileResult result = compiler.compile(options.script, files, quiet, compile_options);

    std::string report = options.format == "json" ? json_report(result) : gnu_report(result);
    fwrite(report.data(), 1, report.size(), stdout);
    if (!options.deps.empty()) {
        const std::string& target = options.deps_target.empty() ? options.output : options.deps_target;
        if (!write_text(options.deps, dependency_file(result, target, options.deps_phony)))
            return result.status == vorn::StatusClean || result.status == vorn::StatusErrors
                       ? ExitCannotWrite
                       : result.status;
    }
    return result.status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    CLI::App app{"Checks a VORN script as vorn compiles it, and reports every diagnostic as\n"
                 "FILE:LINE:COLUMN: error: TEXT (or as JSON). The lists events.lst and\n"
                 "command.lst are read from the current directory.",
                 "vorn-check"};
    app.add_option("script", options.script, "the script file to check")->required();
    app.add_option("--format", options.format, "gnu (the default) or json")
        ->check(CLI::IsMember({"gnu", "json"}));
    app.add_flag("-k,--keep-going", options.keep_going,
                 "report an unknown command, a missing '(' or an include that cannot be opened, "
                 "skip that line and go on");
    app.add_option("-o", options.output, "also write the compiled file, as vorn would");
    app.add_option("--deps", options.deps, "write a dependency file, as gcc -MD does");
    app.add_option("--deps-target", options.deps_target, "the target named in the dependency file "
                                                          "(default: the -o file)");
    app.add_flag("--deps-phony", options.deps_phony, "add an empty rule for each dependency");
    app.add_option("-C", options.directory, "run as if started in this directory");
    app.set_version_flag("--version", "vorn-check " VORN_VERSION);
    std::optional<int> status = parse_command_line(app, argc, argv, "[options] <script file>", [&] {
        if (!options.deps.empty() && options.output.empty() && options.deps_target.empty())
            throw CLI::ValidationError("--deps", "needs -o or --deps-target to name the target");
    });
    if (status)
        return *status;
    vorn::allow_deepest_include_chain();
    return check(options);
}
