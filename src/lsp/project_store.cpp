#include "project_store.h"

namespace lsp {

// A compile keeps at most this many diagnostics, as many as a file shows: memory stays
// bounded for a document of nothing but errors.
constexpr std::size_t MaxDiagnosticsPerCompile = 1000;

bool inside_folder(const std::string& path, const std::string& folder) {
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

vorn::Project& ProjectStore::at(const std::string& folder) {
    std::unique_ptr<vorn::Project>& slot = projects_[folder];
    if (!slot) {
        slot = files_ ? std::make_unique<vorn::Project>(folder, *files_) : std::make_unique<vorn::Project>(folder);
        slot->limit_diagnostics(MaxDiagnosticsPerCompile);
        if (stop_)
            slot->set_stop([stop = stop_, folder] { return stop(folder); });
        slot->set_warnings(warnings_);
        slot->load();
    }
    return *slot;
}

vorn::Project* ProjectStore::find(const std::string& folder) {
    auto found = projects_.find(folder);
    return found == projects_.end() ? nullptr : found->second.get();
}

std::vector<vorn::Project*> ProjectStore::holding(const std::string& path) {
    std::vector<vorn::Project*> found;
    for (auto& [folder, project] : projects_)
        if (inside_folder(path, folder))
            found.push_back(project.get());
    return found;
}

}  // namespace lsp
