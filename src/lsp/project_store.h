// The projects the server has open: one vorn::Project per project folder, made and loaded
// when a document of it first opens.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <vorn/project.h>

namespace lsp {

class ProjectStore {
public:
    // The project whose folder is folder, made and loaded on first use.
    vorn::Project& at(const std::string& folder);
    // The project of folder if it is open; nullptr otherwise.
    vorn::Project* find(const std::string& folder);
    // Every open project whose folder holds path (absolute, normal).
    std::vector<vorn::Project*> holding(const std::string& path);
    void close(const std::string& folder) { projects_.erase(folder); }
    const std::map<std::string, std::unique_ptr<vorn::Project>>& all() const { return projects_; }
    // Every project made from now on asks this, with its folder, whether to abandon a compile
    // (vorn::Project::set_stop); its first load too.
    void set_stop(std::function<bool(const std::string& folder)> stop) { stop_ = std::move(stop); }
    // The warnings every project made from now on looks for (by default those on by default).
    void set_warnings(const vorn::WarningSet& warnings) { warnings_ = warnings; }
    // Where every project made from now on reads its files (by default the file system); it
    // must outlive the store.
    void set_files(vorn::SourceProvider& files) { files_ = &files; }

private:
    vorn::SourceProvider* files_ = nullptr;
    vorn::WarningSet warnings_ = vorn::WarningSet::defaults();
    std::function<bool(const std::string&)> stop_;
    std::map<std::string, std::unique_ptr<vorn::Project>> projects_;
};

// Whether path (absolute, normal) lies in folder.
bool inside_folder(const std::string& path, const std::string& folder);

}  // namespace lsp
