// What vorn-check writes: diagnostics in GNU form or as JSON, and a dependency file.
#pragma once

#include <string>

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
