// What vorn-check writes: diagnostics in GNU form or as JSON, and a dependency file.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include <vorn/vorn.h>

// A diagnostic in GNU form, "FILE:LINE:COLUMN: error: TEXT", and a note where checking stopped.
std::string gnu_line(const vorn::Diagnostic& diagnostic);

// Prints each diagnostic in GNU form as the compile records it, so that none need be kept: a
// script of countless errors is checked in the memory of one.
class GnuPrinter : public vorn::LineObserver {
public:
    explicit GnuPrinter(FILE* out) : out_(out) {}
    void reached(const vorn::LineRecord&, const unsigned char*, const vorn::CompileResult&) override {}
    void diagnosed(const vorn::Diagnostic& diagnostic) override;

private:
    FILE* out_;
};

// One JSON document with every field of every diagnostic, the files read and the status.
std::string json_report(const vorn::CompileResult& result);

// A dependency file as gcc -MD writes it: the target, then every file the compile read or
// tried to read; with phony, an empty rule for each of them too.
std::string dependency_file(const vorn::CompileResult& result, const std::string& target, bool phony);

// A path as make reads it among a rule's prerequisites: blanks and '#' escaped with a backslash
// (the backslashes before them doubled), '$' as "$$".
std::string make_escaped(const std::string& path);

// A path as make reads it as a rule's target: as a prerequisite, and ':' and '%' escaped too.
std::string make_target_escaped(const std::string& target);

// What no escape lets make read in a name: a line end ends the rule, ';' starts its recipe and
// '=' makes the line an assignment.
constexpr const char* MakeUnreadable = "\n;=";

// The first character of name that make cannot read in a rule, if any.
std::optional<char> unreadable_by_make(const std::string& name);
