// Which warnings a tool looks for and which it counts as errors: the -W options.
#include <algorithm>

#include <vorn/language.h>
#include <vorn/result.h>
#include <vorn/warning_options.h>

#include "explain.h"

namespace vorn {

namespace {

// Self and Time are there whether a script uses them or not: defining one again is
// redefined-name's business.
bool predefined_variable(const std::string& name) {
    for (const PredefinedVariable& variable : PredefinedVariables)
        if (name == variable.name)
            return true;
    return false;
}

// The error for an unknown warning name (option is the text after "-W", ending in name), with
// the closest warning names offered in the same form.
std::string unknown_warning(std::string_view name, std::string_view option) {
    std::vector<std::string_view> known;
    for (std::size_t i = 0; i < DiagnosticKindCount; ++i) {
        auto kind = static_cast<DiagnosticKind>(i);
        if (severity_of(kind) == Severity::Warning)
            known.emplace_back(kind_name(kind));
    }
    std::string text = name.size() == option.size()
                           ? "unknown warning option -W" + std::string(option)
                           : "unknown warning '" + std::string(name) + "' in -W" + std::string(option);
    std::vector<std::string> closest = closest_names(name, known);
    for (std::size_t i = 0; i < closest.size(); ++i)
        text += (i == 0 ? "; did you mean '-W" : i + 1 == closest.size() ? "' or '-W" : "', '-W") +
                std::string(option.substr(0, option.size() - name.size())) + closest[i];
    return closest.empty() ? text : text + "'?";
}

}  // namespace

std::string warning_names_help() {
    std::string text;
    for (std::size_t i = 0; i < DiagnosticKindCount; ++i) {
        auto kind = static_cast<DiagnosticKind>(i);
        if (severity_of(kind) != Severity::Warning)
            continue;
        text += "  " + std::string(kind_name(kind));
        text += on_by_default(kind) ? "\n" : " (off by default)\n";
    }
    return text;
}

std::optional<std::string> apply_warning_option(WarningOptions& options, std::string_view option) {
    auto named = [&](std::string_view name) -> std::optional<DiagnosticKind> { return warning_named(name); };
    if (option == "all") {
        options.enabled = WarningSet::all();
        return std::nullopt;
    }
    if (option == "error") {
        options.all_errors = true;
        return std::nullopt;
    }
    constexpr std::string_view ErrorPrefix = "error=";
    constexpr std::string_view NoPrefix = "no-";
    if (option.substr(0, ErrorPrefix.size()) == ErrorPrefix) {
        std::string_view name = option.substr(ErrorPrefix.size());
        std::optional<DiagnosticKind> kind = named(name);
        if (!kind)
            return unknown_warning(name, option);
        options.enabled.add(*kind);
        options.errors.add(*kind);
        return std::nullopt;
    }
    if (option.substr(0, NoPrefix.size()) == NoPrefix) {
        std::string_view name = option.substr(NoPrefix.size());
        std::optional<DiagnosticKind> kind = named(name);
        if (!kind)
            return unknown_warning(name, option);
        options.enabled.remove(*kind);
        options.errors.remove(*kind);
        return std::nullopt;
    }
    std::optional<DiagnosticKind> kind = named(option);
    if (!kind)
        return unknown_warning(option, option);
    options.enabled.add(*kind);
    return std::nullopt;
}

bool counts_as_error(const WarningOptions& options, DiagnosticKind kind) {
    return options.all_errors || options.errors.has(kind);
}

void count_warnings_as_errors(CompileResult& result, const WarningOptions& options) {
    bool any = false;
    for (Diagnostic& d : result.diagnostics)
        if (d.severity == Severity::Warning && counts_as_error(options, d.kind)) {
            d.severity = Severity::Error;
            d.status = StatusErrors;
            any = true;
            if (result.error_count != UINT16_MAX)
                ++result.error_count;
        }
    if (any && result.status == StatusClean)
        result.status = StatusErrors;
}

std::vector<Diagnostic> unused_names(const std::vector<const CompileResult*>& compiles) {
    // A definition is known by where its name stands: the same line of a shared file is one
    // definition in every compile that reads it.
    auto key = [](const Location& where) {
        return where.file + '\0' + std::to_string(where.line) + ':' + std::to_string(where.column);
    };
    std::vector<std::string> used;
    for (const CompileResult* result : compiles)
        for (const Use& use : result->uses)
            if (use.kind == UseKind::Variable || use.kind == UseKind::Constant)
                used.push_back(key(result->definitions[static_cast<std::size_t>(use.target)].where));
    std::sort(used.begin(), used.end());
    std::vector<std::string> reported;
    std::vector<Diagnostic> unused;
    for (const CompileResult* result : compiles)
        for (const Definition& d : result->definitions) {
            if ((d.kind != DefinitionKind::Variable && d.kind != DefinitionKind::Constant) ||
                d.where.file.empty() || predefined_variable(d.name))
                continue;
            std::string k = key(d.where);
            if (std::binary_search(used.begin(), used.end(), k) ||
                std::find(reported.begin(), reported.end(), k) != reported.end())
                continue;
            reported.push_back(k);
            Diagnostic diagnostic;
            diagnostic.kind = DiagnosticKind::UnusedName;
            diagnostic.severity = Severity::Warning;
            diagnostic.where = d.where;
            diagnostic.source = d.source;
            diagnostic.text = "'" + d.name + "' is defined but never used";
            // With lines recorded, it stands on the piece of its definition.
            for (std::size_t i = 0; i < result->lines.size(); ++i) {
                const LineRecord& line = result->lines[i];
                if (static_cast<int>(line.file) == d.source && line.line == d.where.line &&
                    line.column <= d.where.column)
                    diagnostic.piece = static_cast<int32_t>(i);
            }
            unused.push_back(std::move(diagnostic));
        }
    return unused;
}

}  // namespace vorn
