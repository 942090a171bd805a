#include "reports.h"

#include <nlohmann/json.hpp>

#include <set>

namespace {

nlohmann::json location_json(const vorn::Location& where) {
    return {{"file", where.file},
            {"line", where.line},
            {"column", where.column},
            {"end_column", where.end_column}};
}

// Every file that a change to should make the build run again, once each, in the order read.
std::vector<std::string> dependencies(const vorn::CompileResult& result) {
    std::vector<std::string> files;
    std::set<std::string> seen;
    for (const vorn::SourceRecord& file : result.files)
        if (seen.insert(file.path).second)
            files.push_back(file.path);
    return files;
}

}  // namespace

std::string gnu_report(const vorn::CompileResult& result) {
    std::string out;
    for (const vorn::Diagnostic& d : result.diagnostics) {
        std::string where = vorn::location_text(d.where, "vorn-check");
        out += where + ": " + vorn::severity_name(d.severity) + ": " + d.text + "\n";
        if (d.fatal)
            out += where + ": note: checking stopped here (status " + std::to_string(d.status) + ")\n";
    }
    return out;
}

std::string json_report(const vorn::CompileResult& result) {
    nlohmann::json diagnostics = nlohmann::json::array();
    for (const vorn::Diagnostic& d : result.diagnostics) {
        nlohmann::json entry = location_json(d.where);
        entry["kind"] = vorn::kind_name(d.kind);
        entry["severity"] = vorn::severity_name(d.severity);
        entry["fatal"] = d.fatal;
        entry["status"] = d.status;
        entry["running_line"] = d.running_line;
        entry["text"] = d.text;
        entry["vorn_text"] = d.vorn_text;
        diagnostics.push_back(std::move(entry));
    }
    nlohmann::json files = nlohmann::json::array();
    for (const vorn::SourceRecord& file : result.files) {
        nlohmann::json entry = {{"path", file.path}, {"opened", file.opened}};
        entry["includer"] = file.includer < 0 ? nlohmann::json(nullptr) : nlohmann::json(file.includer);
        entry["include_line"] = file.include_line;
        files.push_back(std::move(entry));
    }
    nlohmann::json document = {{"status", result.status},
                               {"fatal", result.fatal},
                               {"error_count", result.error_count},
                               {"diagnostics", std::move(diagnostics)},
                               {"files", std::move(files)}};
    // Scripts may hold bytes that are not UTF-8; JSON text must be, so they show as U+FFFD.
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string make_escaped(const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        char c = path[i];
        if (c == ' ' || c == '\t' || c == '#') {
            for (std::size_t j = i; j > 0 && path[j - 1] == '\\'; --j)
                out += '\\';
            out += '\\';
            out += c;
        } else if (c == '$') {
            out += "$$";
        } else {
            out += c;
        }
    }
    // A backslash at the end would join the next line.
    for (std::size_t j = path.size(); j > 0 && path[j - 1] == '\\'; --j)
        out += '\\';
    return out;
}

std::string dependency_file(const vorn::CompileResult& result, const std::string& target, bool phony) {
    std::vector<std::string> files = dependencies(result);
    std::string out = make_escaped(target) + ":";
    for (const std::string& file : files)
        out += " \\\n " + make_escaped(file);
    out += "\n";
    if (phony)
        for (const std::string& file : files)
            out += "\n" + make_escaped(file) + ":\n";
    return out;
}
