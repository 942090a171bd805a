#include "analysis.h"

#include <algorithm>
#include <filesystem>

namespace lsp {

namespace fs = std::filesystem;

namespace {

// Whether inner lies in (or is) folder.
bool inside(const std::string& inner, const std::string& folder) {
    if (folder == "/")
        return !inner.empty() && inner[0] == '/';
    return inner.compare(0, folder.size(), folder) == 0 &&
           (inner.size() == folder.size() || inner[folder.size()] == '/');
}

}  // namespace

std::string relative_to(const std::string& path, const std::string& folder) {
    if (inside(path, folder) && path.size() > folder.size())
        return path.substr(folder == "/" ? 1 : folder.size() + 1);
    return path;
}

std::string absolute_in(const std::string& path, const std::string& folder) {
    fs::path p(path);
    if (p.is_relative())
        p = fs::path(folder) / p;
    return p.lexically_normal().string();
}

void Analysis::index() {
    paths.clear();
    top = -1;
    for (std::size_t i = 0; i < result->files.size(); ++i) {
        const vorn::SourceRecord& file = result->files[i];
        paths.push_back(absolute_in(file.path, project));
        // The document is the first script record of its path: the top script itself, or
        // where the top script first reaches a shared file.
        if (top < 0 && i >= vorn::FirstScriptRecord && file.path == script)
            top = static_cast<int>(i);
    }
    top_lines.clear();
    for (std::size_t i = 0; i < result->lines.size(); ++i)
        if (static_cast<int>(result->lines[i].file) == top)
            top_lines.push_back(static_cast<uint32_t>(i));
}

uint32_t Analysis::document_line(int source, uint32_t line) const {
    // A chain of includes ends at the document; bound the walk by the number of records.
    for (std::size_t steps = 0; source >= 0 && steps <= result->files.size(); ++steps) {
        if (source == top)
            return line;
        const vorn::SourceRecord& file = result->files[static_cast<std::size_t>(source)];
        line = file.include_line;
        source = file.includer;
    }
    return 0;
}

const vorn::Definition* Analysis::value_named(const std::string& name) const {
    for (vorn::DefinitionKind kind : {vorn::DefinitionKind::Variable, vorn::DefinitionKind::Constant})
        for (const vorn::Definition& definition : result->definitions)
            if (definition.kind == kind && definition.name == name)
                return &definition;
    return nullptr;
}

const vorn::LineRecord* Analysis::line_record(uint32_t line, std::size_t piece) const {
    auto it = std::lower_bound(top_lines.begin(), top_lines.end(), line,
                               [this](uint32_t index, uint32_t wanted) {
                                   return result->lines[index].line < wanted;
                               });
    for (; it != top_lines.end() && result->lines[*it].line == line; ++it)
        if (result->lines[*it].column == piece + 1)
            return &result->lines[*it];
    return nullptr;
}

}  // namespace lsp
