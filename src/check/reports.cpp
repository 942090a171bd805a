#include "reports.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string_view>
#include <utility>

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

namespace {

// A single compile as the merged reports see it: its top script is its first script record.
std::vector<vorn::TopCompile> one_compile(const vorn::CompileResult& result) {
    std::string script = result.files.size() > vorn::FirstScriptRecord ? result.files[vorn::FirstScriptRecord].path : "";
    return {vorn::TopCompile{script, &result}};
}

nlohmann::json files_json(const vorn::CompileResult& result) {
    nlohmann::json files = nlohmann::json::array();
    for (const vorn::SourceRecord& file : result.files) {
        nlohmann::json entry = {{"path", file.path}, {"opened", file.opened}};
        entry["includer"] = file.includer < 0 ? nlohmann::json(nullptr) : nlohmann::json(file.includer);
        entry["include_line"] = file.include_line;
        files.push_back(std::move(entry));
    }
    return files;
}

}  // namespace

void GnuPrinter::reached(const vorn::LineRecord&, const unsigned char*, const vorn::CompileResult& result) {
    result_ = &result;
}

void GnuPrinter::diagnosed(const vorn::Diagnostic& diagnostic) {
    // The includes are named as the compile opened them, and moved as the diagnostic is.
    vorn::IncludeChain chain = result_ ? vorn::include_chain(*result_, diagnostic.source) : vorn::IncludeChain();
    std::string text;
    if (rebase_) {
        vorn::Diagnostic moved = diagnostic;
        moved.where.file = rebase_->to_here(moved.where.file);
        for (vorn::DiagnosticNote& note : moved.notes)
            note.where.file = rebase_->to_here(note.where.file);
        for (vorn::Location& step : chain)
            step.file = rebase_->to_here(step.file);
        text = writer_.write(moved, chain);
    } else {
        text = writer_.write(diagnostic, chain);
    }
    fwrite(text.data(), 1, text.size(), out_);
}

std::string gnu_report(const vorn::CompileResult& result) {
    std::vector<vorn::TopCompile> compiles = one_compile(result);
    return gnu_report(vorn::merge_diagnostics(compiles), {}, false, compiles);
}

// The fixes of a diagnostic: what each does, whether it is safe, and its edits, each a file,
// a range and the new text.
nlohmann::json fixes_json(const vorn::Diagnostic& d) {
    nlohmann::json fixes = nlohmann::json::array();
    for (const vorn::Fix& fix : d.fixes) {
        nlohmann::json edits = nlohmann::json::array();
        for (const vorn::Edit& edit : fix.edits) {
            nlohmann::json e = location_json(edit.range);
            e["new_text"] = edit.new_text;
            edits.push_back(std::move(e));
        }
        fixes.push_back({{"description", fix.description}, {"safe", fix.safe}, {"edits", std::move(edits)}});
    }
    return fixes;
}

std::string json_report(const vorn::CompileResult& result) {
    std::vector<vorn::TopCompile> compiles = one_compile(result);
    return json_report(compiles, vorn::merge_diagnostics(compiles));
}

std::string gnu_report(const std::vector<vorn::ContextDiagnostic>& diagnostics,
                       const std::vector<vorn::ProjectNote>& notes, bool contexts,
                       const std::vector<vorn::TopCompile>& compiles, const GnuForm& form) {
    vorn::GnuWriter writer("vorn-check", "checking", form.style, form.lines);
    std::string out;
    for (const vorn::ProjectNote& note : notes)
        out += writer.note(note.path, note.text);
    for (const vorn::ContextDiagnostic& c : diagnostics) {
        // A diagnostic in an included file was reached through the includes of its top script.
        vorn::IncludeChain chain;
        if (!c.context.empty())
            for (const vorn::TopCompile& compile : compiles)
                if (compile.script == c.context) {
                    chain = vorn::include_chain(*compile.result, c.diagnostic.source);
                    break;
                }
        // Met in several compiles: printed once, naming them.
        std::string several = contexts && c.contexts.size() > 1 ? vorn::contexts_note(c.contexts) : std::string();
        out += writer.write(c.diagnostic, chain, contexts ? c.context : std::string(), several);
    }
    return out;
}

namespace {

nlohmann::json diagnostic_json(const vorn::ContextDiagnostic& c) {
        const vorn::Diagnostic& d = c.diagnostic;
        nlohmann::json entry = location_json(d.where);
        entry["kind"] = vorn::kind_name(d.kind);
        entry["severity"] = vorn::severity_name(d.severity);
        entry["fatal"] = d.fatal;
        entry["status"] = d.status;
        entry["running_line"] = d.running_line;
        entry["text"] = d.text;
        entry["vorn_text"] = d.vorn_text;
        nlohmann::json notes = nlohmann::json::array();
        for (const vorn::DiagnosticNote& note : d.notes) {
            nlohmann::json n = location_json(note.where);
            n["text"] = note.text;
            notes.push_back(std::move(n));
        }
        entry["notes"] = std::move(notes);
        entry["fixes"] = fixes_json(d);
        entry["context"] = c.context.empty() ? nlohmann::json(nullptr) : nlohmann::json(c.context);
        entry["contexts"] = c.contexts;
        return entry;
}

// Scripts may hold bytes that are not UTF-8; JSON text must be, so they show as U+FFFD.
std::string json_text(const nlohmann::json& value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The document of json_report but its diagnostics.
nlohmann::json report_without_diagnostics(const std::vector<vorn::TopCompile>& compiles,
                                          const std::vector<vorn::ProjectNote>& notes) {
    nlohmann::json scripts = nlohmann::json::array();
    bool fatal = false;
    unsigned error_count = 0;
    for (const vorn::TopCompile& compile : compiles) {
        const vorn::CompileResult& r = *compile.result;
        fatal = fatal || r.fatal;
        error_count += r.error_count;
        scripts.push_back({{"path", compile.script},
                           {"status", r.status},
                           {"fatal", r.fatal},
                           {"error_count", r.error_count},
                           {"files", files_json(r)}});
    }
    nlohmann::json note_list = nlohmann::json::array();
    for (const vorn::ProjectNote& note : notes)
        note_list.push_back({{"path", note.path}, {"text", note.text}});
    nlohmann::json document = {{"status", vorn::combined_status(compiles)},
                               {"fatal", fatal},
                               {"error_count", error_count},
                               {"scripts", std::move(scripts)},
                               {"notes", std::move(note_list)}};
    if (compiles.size() == 1)
        document["files"] = files_json(*compiles[0].result);
    return document;
}

}  // namespace

std::string json_report(const std::vector<vorn::TopCompile>& compiles,
                        const std::vector<vorn::ContextDiagnostic>& merged,
                        const std::vector<vorn::ProjectNote>& notes) {
    nlohmann::json diagnostics = nlohmann::json::array();
    for (const vorn::ContextDiagnostic& c : merged)
        diagnostics.push_back(diagnostic_json(c));
    nlohmann::json document = report_without_diagnostics(compiles, notes);
    document["diagnostics"] = std::move(diagnostics);
    return json_text(document) + "\n";
}

void JsonPrinter::diagnosed(const vorn::Diagnostic& diagnostic) {
    if (!rebase_) {
        write(diagnostic);
        return;
    }
    vorn::Diagnostic moved = diagnostic;
    moved.where.file = rebase_->to_here(moved.where.file);
    for (vorn::DiagnosticNote& note : moved.notes)
        note.where.file = rebase_->to_here(note.where.file);
    for (vorn::Fix& fix : moved.fixes)
        for (vorn::Edit& edit : fix.edits)
            edit.range.file = rebase_->to_here(edit.range.file);
    write(moved);
}

// As merge_diagnostics makes them: each diagnostic once (a file included twice reports its
// lines twice), a diagnostic of an included file with its top script as context. Only those
// of other files than the script are remembered, to be told again.
void JsonPrinter::write(const vorn::Diagnostic& d) {
    bool own = d.where.file == script_;
    if (!own) {
        std::string key = d.where.file + '\n' + std::to_string(d.where.line) + ':' +
                          std::to_string(d.where.column) + '-' + std::to_string(d.where.end_column) +
                          ':' + vorn::kind_name(d.kind) + ':' + (d.fatal ? "F" : "") + d.text;
        if (!seen_.insert(std::move(key)).second)
            return;
    }
    std::string context = d.source >= static_cast<int>(vorn::FirstScriptRecord) && !own ? script_ : "";
    std::string entry = json_text(diagnostic_json(vorn::ContextDiagnostic{d, std::move(context), {}}));
    // An entry of the array stands two levels into the document.
    std::string text = written_ == 0 ? "{\n  \"diagnostics\": [\n" : ",\n";
    text += "    ";
    for (char c : entry) {
        text += c;
        if (c == '\n')
            text += "    ";
    }
    fwrite(text.data(), 1, text.size(), out_);
    ++written_;
}

void JsonPrinter::finish(const std::vector<vorn::TopCompile>& compiles,
                         const std::vector<vorn::Diagnostic>& late, const std::vector<vorn::ProjectNote>& notes) {
    for (const vorn::Diagnostic& d : late)
        write(d);
    std::string rest = json_text(report_without_diagnostics(compiles, notes));
    // The other fields follow the diagnostics, as the keys are in order: all but the "{\n".
    std::string text = written_ == 0 ? "{\n  \"diagnostics\": [],\n" : "\n  ],\n";
    text += rest.substr(2) + "\n";
    fwrite(text.data(), 1, text.size(), out_);
}

void print_report(const std::string& format, const std::vector<vorn::TopCompile>& compiles,
                  const std::vector<vorn::ContextDiagnostic>& diagnostics,
                  const std::vector<vorn::ProjectNote>& notes, bool contexts, const GnuForm& form) {
    std::string report = format == "json" ? json_report(compiles, diagnostics, notes)
                                          : gnu_report(diagnostics, notes, contexts, compiles, form);
    fwrite(report.data(), 1, report.size(), stdout);
}

std::string PathRebase::into_folder(const std::string& path) const {
    if (folder == here)
        return path;
    std::filesystem::path full = std::filesystem::path(here) / path;
    return full.lexically_normal().lexically_relative(folder).string();
}

std::string PathRebase::to_here(const std::string& path) const {
    if (folder == here || path.empty() || path[0] == '/')
        return path;
    std::filesystem::path full = std::filesystem::path(folder) / path;
    return full.lexically_normal().lexically_relative(here).string();
}

void PathRebase::to_here(vorn::CompileResult& result) const {
    if (folder == here)
        return;
    for (vorn::SourceRecord& file : result.files)
        file.path = to_here(file.path);
    for (vorn::Diagnostic& d : result.diagnostics) {
        d.where.file = to_here(d.where.file);
        for (vorn::DiagnosticNote& note : d.notes)
            note.where.file = to_here(note.where.file);
        for (vorn::Fix& fix : d.fixes)
            for (vorn::Edit& edit : fix.edits)
                edit.range.file = to_here(edit.range.file);
    }
}

namespace {

// Writes path for make, escaping with a backslash every character of escaped (and doubling the
// backslashes right before it).
std::string escape_for_make(const std::string& path, std::string_view escaped) {
    std::string out;
    for (std::size_t i = 0; i < path.size(); ++i) {
        char c = path[i];
        if (escaped.find(c) != std::string_view::npos) {
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

}  // namespace

std::string make_escaped(const std::string& path) { return escape_for_make(path, " \t#:|"); }

std::string make_target_escaped(const std::string& target) {
    return escape_for_make(target, " \t#:%");
}

std::optional<std::string> unreadable_by_make(const std::string& name) {
    std::size_t at = name.find_first_of(MakeUnreadable);
    if (at != std::string::npos)
        return name[at] == '\n' ? std::string("a line end") : std::string("'") + name[at] + "'";
    std::size_t start = 0;
    while (name.compare(start, 2, "./") == 0)
        start += 2;
    if (name.compare(start, 1, "~") == 0)
        return std::string("a leading '~'");
    if (!name.empty() && name.back() == ')' && name.find('(') != std::string::npos)
        return std::string("an archive member's \"(...)\"");
    return std::nullopt;
}

std::string dependency_file(const vorn::CompileResult& result, const std::string& target, bool phony,
                            const std::string& skip) {
    std::vector<std::string> files = dependencies(result);
    if (!skip.empty())
        files.erase(std::remove(files.begin(), files.end(), skip), files.end());
    std::string out = make_target_escaped(target) + ":";
    for (const std::string& file : files)
        out += " \\\n " + make_escaped(file);
    out += "\n";
    if (phony)
        for (const std::string& file : files)
            out += "\n" + make_target_escaped(file) + ":\n";
    return out;
}
