// What vorn-check writes: diagnostics in GNU form or as JSON, and a dependency file.
#pragma once

#include <string>

#include <vorn/project.h>
#include <vorn/vorn.h>

// One line per diagnostic, "FILE:LINE:COLUMN: SEVERITY: TEXT" (error, warning or note), and a
// note where checking stopped.
std::string gnu_report(const vorn::CompileResult& result);

// One JSON document with every field of every diagnostic, the files read and the status.
std::string json_report(const vorn::CompileResult& result);

// A dependency file as gcc -MD writes it: the target, then every file the compile read or
// tried to read; with phony, an empty rule for each of them too.
std::string dependency_file(const vorn::CompileResult& result, const std::string& target, bool phony);

// A path as make reads it in a rule: blanks and '#' escaped with a backslash (the backslashes
// before them doubled), '$' as "$$".
std::string make_escaped(const std::string& path);

// The diagnostics of one or more scripts, each once, in the GNU form; with contexts, a note
// names the top script that a shared file's diagnostic comes from (a check of one script
// leaves it out: there is only the one).
std::string gnu_report(const std::vector<vorn::ContextDiagnostic>& diagnostics,
                       const std::vector<vorn::ProjectNote>& notes = {}, bool contexts = true);

// The same as one JSON document: the combined status, every diagnostic with its context (the
// top script's path, or null), and each script with its own status and files; "files" is
// the one script's files when there is one.
std::string json_report(const std::vector<vorn::TopCompile>& compiles,
                        const std::vector<vorn::ContextDiagnostic>& diagnostics,
                        const std::vector<vorn::ProjectNote>& notes = {});

// Writes the report in format ("gnu" or "json") to standard output; contexts as gnu_report.
void print_report(const std::string& format, const std::vector<vorn::TopCompile>& compiles,
                  const std::vector<vorn::ContextDiagnostic>& diagnostics,
                  const std::vector<vorn::ProjectNote>& notes, bool contexts);

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
