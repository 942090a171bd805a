// What the -W options of a tool ask for, and how a tool applies them to what compiles found.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "warning_set.h"

namespace vorn {

struct CompileResult;

// What the -W options of a tool ask for: the warnings to look for, and those to count as errors.
struct WarningOptions {
    WarningSet enabled = WarningSet::defaults();
    WarningSet errors;
    bool all_errors = false;  // -Werror
};

// Applies one option (the text after "-W": "all", "error", "error=NAME", "no-NAME" or NAME);
// an error text for an option it does not know.
std::optional<std::string> apply_warning_option(WarningOptions& options, std::string_view option);

// Every warning name, one a line ("  NAME", "(off by default)" after those -Wall turns on),
// for the tools' --help.
std::string warning_names_help();

// Whether a warning of this kind counts as an error under options.
bool counts_as_error(const WarningOptions& options, DiagnosticKind kind);

// Turns the warnings that options count as errors into errors, and a clean status into
// StatusErrors when there are any; each is counted in error_count.
void count_warnings_as_errors(CompileResult& result, const WarningOptions& options);

// unused-name: every defvar and defnum that no use of any of the compiles (made with
// record_uses) resolves to, each once, in the order of the compiles.
std::vector<Diagnostic> unused_names(const std::vector<const CompileResult*>& compiles);

}  // namespace vorn
