#include "publisher.h"

#include <algorithm>
#include <utility>

#include "analysis.h"
#include "features.h"
#include "line_view.h"
#include "messages.h"

namespace lsp {

Range RangeReader::range(const std::string& path, const vorn::Location& where) {
    const Text* text = text_(path);
    if (text && where.line > 0 && where.column > 0) {
        auto& converter = converters_[path];
        if (!converter)
            converter = std::make_unique<ColumnConverter>(*text, encoding_);
        uint32_t line = where.line - 1;
        uint32_t start = converter->character(line, where.column - 1);
        uint32_t end = converter->character(line, std::max(where.end_column, where.column) - 1);
        return line_range(line, start, end);
    }
    return range_of(text, where, encoding_);
}

namespace {

// The include line of the top script context through which its compile reached a shared
// file's diagnostic: the diagnostic's file has its own number in each compile.
RelatedInformation include_link(const vorn::Project& project, const vorn::ContextDiagnostic& found,
                                const std::string& context, const PublishSources& sources) {
    std::string top = absolute_in(context, project.folder());
    uint32_t line = 0;
    if (const vorn::CompileResult* compile = project.compile_of(context)) {
        int source = found.diagnostic.source;
        if (context != found.context) {
            source = -1;
            for (std::size_t i = 0; i < compile->files.size() && source < 0; ++i)
                if (compile->files[i].opened && compile->files[i].path == found.diagnostic.where.file)
                    source = static_cast<int>(i);
        }
        for (std::size_t steps = 0; source >= 0 && steps <= compile->files.size(); ++steps) {
            const vorn::SourceRecord& file = compile->files[static_cast<std::size_t>(source)];
            if (file.includer < 0)
                break;
            line = file.include_line;
            source = file.includer;
        }
    }
    Range range = line_range(0, 0, 0);
    if (line > 0) {
        const Text* text = sources.text(top);
        std::string_view raw = text ? text->line(line - 1) : std::string_view();
        Token name = include_of(raw);
        range = name.kind == TokenKind::IncludeName
                    ? line_range(line - 1, character_of(raw, name.begin, sources.encoding),
                                 character_of(raw, name.end, sources.encoding))
                    : line_range(line - 1, 0, character_of(raw, raw.size(), sources.encoding));
    }
    return RelatedInformation{Location{sources.uri_of(top), range}, "Included here, in the compile of " + context};
}

}  // namespace

std::map<std::string, std::vector<Diagnostic>> project_diagnostics(const vorn::Project& project,
                                                                   const std::vector<std::string>& open_scripts,
                                                                   const PublishSources& sources) {
    const std::string& folder = project.folder();
    std::map<std::string, std::vector<Diagnostic>> fresh;
    RangeReader ranges(sources.encoding, sources.text);
    // The shared files' findings, by the top script's include line they were reached from.
    std::map<std::pair<std::string, uint32_t>, std::vector<RelatedInformation>> summaries;
    std::map<std::pair<std::string, uint32_t>, std::pair<Range, vorn::Diagnostic>> links;
    std::map<std::pair<std::string, uint32_t>, int> worst;  // the lowest severity number, the worst
    for (const vorn::ContextDiagnostic& found : project.diagnostics()) {
        const vorn::Diagnostic& diagnostic = found.diagnostic;
        // An error in a list, or a list that cannot be read, fails every compile: each open
        // script of the project shows it, so that none looks clean while a list is missing.
        bool in_list = diagnostic.where.file == vorn::EventListFile || diagnostic.where.file == vorn::CommandListFile;
        if (in_list && diagnostic.source < static_cast<int>(vorn::FirstScriptRecord) &&
            diagnostic.severity == vorn::Severity::Error)
            for (const std::string& uri : open_scripts)
                if (fresh[uri].size() < MaxDiagnosticsPerFile)
                    fresh[uri].push_back(Diagnostic{line_range(0, 0, 0), SeverityError, vorn::kind_name(diagnostic.kind),
                                                    "In " + diagnostic.where.file + ": " + diagnostic.text, {}});
        if (diagnostic.where.file.empty())
            continue;
        std::string path = absolute_in(diagnostic.where.file, folder);
        std::vector<Diagnostic>& list = fresh[sources.uri_of(path)];
        if (list.size() >= MaxDiagnosticsPerFile)
            continue;
        std::vector<std::string> contexts = found.contexts;
        if (contexts.empty() && !found.context.empty())
            contexts.push_back(found.context);
        Diagnostic out{ranges.range(path, diagnostic.where), severity_of(diagnostic.severity),
                       vorn::kind_name(diagnostic.kind), shown_message(diagnostic, contexts), {}};
        // Its notes (the first definition of a redefined name, ...) link to where they stand.
        for (const vorn::DiagnosticNote& note : diagnostic.notes) {
            if (note.where.file.empty() || out.related.size() >= MaxRelated)
                continue;
            std::string note_path = absolute_in(note.where.file, folder);
            out.related.push_back(
                RelatedInformation{Location{sources.uri_of(note_path), ranges.range(note_path, note.where)}, note.text});
        }
        // Every includer whose compile met it shows it on its include line, open or not; the
        // diagnostic itself, shown once, links to each of them.
        for (const std::string& context : found.contexts) {
            RelatedInformation link = include_link(project, found, context, sources);
            std::pair<std::string, uint32_t> at{link.location.uri, link.location.range.start.line};
            summaries[at].push_back(RelatedInformation{Location{sources.uri_of(path), out.range}, folded_text(diagnostic)});
            links.emplace(at, std::make_pair(link.location.range, diagnostic));
            auto [weight, fresh_line] = worst.emplace(at, out.severity);
            if (!fresh_line)
                weight->second = std::min(weight->second, out.severity);
            if (out.related.size() < MaxRelated)
                out.related.push_back(std::move(link));
        }
        list.push_back(std::move(out));
    }
    // The top script shows what its include line led to, once per line, with a link to each.
    // It weighs as the worst of them: a line that led only to warnings shows a warning.
    for (auto& [at, related] : summaries) {
        const auto& [range, first] = links.at(at);
        int severity = worst.at(at);
        std::string where = first.where.file;
        std::string message = related.size() == 1
                                  ? "In " + where + ": " + folded_text(first)
                                  : std::to_string(related.size()) +
                                        (severity == SeverityError ? " errors" : " problems") +
                                        " in other files; the first, in " + where + ": " + folded_text(first);
        if (related.size() > MaxRelated)
            related.resize(MaxRelated);
        std::vector<Diagnostic>& list = fresh[at.first];
        if (list.size() < MaxDiagnosticsPerFile)
            list.push_back(Diagnostic{range, severity, vorn::kind_name(first.kind), message, std::move(related)});
    }
    return fresh;
}

void Publisher::found(const std::string& folder, std::map<std::string, std::vector<Diagnostic>> by_uri) {
    std::map<std::string, std::vector<Diagnostic>>& old = found_[folder];
    for (const auto& [uri, diagnostics] : old)
        touch(uri);
    for (const auto& [uri, diagnostics] : by_uri)
        touch(uri);
    old = std::move(by_uri);
}

void Publisher::forget(const std::string& folder) {
    auto gone = found_.find(folder);
    if (gone == found_.end())
        return;
    for (const auto& [uri, diagnostics] : gone->second)
        touch(uri);
    found_.erase(gone);
}

void Publisher::own(const std::string& uri, std::vector<Diagnostic> diagnostics) {
    touch(uri);
    if (diagnostics.empty())
        found_[""].erase(uri);
    else
        found_[""][uri] = std::move(diagnostics);
}

void Publisher::touch(const std::string& uri, bool always) { due_[uri] |= always; }

std::vector<PublishDiagnosticsParams> Publisher::take(
    const std::function<std::optional<int64_t>(const std::string& uri)>& version) {
    std::vector<PublishDiagnosticsParams> out;
    for (const auto& [uri, always] : due_) {
        std::vector<Diagnostic> diagnostics;
        for (const auto& [folder, by_uri] : found_) {
            auto found = by_uri.find(uri);
            if (found == by_uri.end())
                continue;
            for (const Diagnostic& diagnostic : found->second)
                if (diagnostics.size() < MaxDiagnosticsPerFile &&
                    std::find(diagnostics.begin(), diagnostics.end(), diagnostic) == diagnostics.end())
                    diagnostics.push_back(diagnostic);
        }
        auto last = published_.find(uri);
        bool same = last == published_.end() ? diagnostics.empty() : last->second == diagnostics;
        if (same && !always)
            continue;
        if (diagnostics.empty())
            published_.erase(uri);
        else
            published_[uri] = diagnostics;
        out.push_back(PublishDiagnosticsParams{uri, version(uri), std::move(diagnostics)});
    }
    due_.clear();
    return out;
}

}  // namespace lsp
