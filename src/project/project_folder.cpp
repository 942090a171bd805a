// Finding the project folder: the nearest folder, from a script's own up, that holds both lists.
#include <algorithm>
#include <filesystem>

#include <vorn/project.h>

namespace vorn {

namespace {

bool is_file(SourceProvider& files, const std::string& path, const std::vector<std::string>& also_files) {
    std::optional<FileInfo> info = files.stat(path);
    if (info && info->kind != FileKind::Folder)
        return true;
    return std::find(also_files.begin(), also_files.end(), path) != also_files.end();
}

// The folder part of a normal absolute path: "/a/b" for "/a/b/c", "/" for "/c".
std::string_view parent_of(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return slash == 0 ? std::string_view("/") : path.substr(0, slash);
}

}  // namespace

bool holds_lists(SourceProvider& files, const std::string& folder, const std::vector<std::string>& also_files) {
    std::string base = folder == "/" ? "" : folder;
    return is_file(files, base + "/" + EventListFile, also_files) &&
           is_file(files, base + "/" + CommandListFile, also_files);
}

bool holds_lists(const std::string& folder, const std::vector<std::string>& also_files) {
    FileSystemProvider disk;
    return holds_lists(disk, folder, also_files);
}

std::string find_project_folder(const std::string& path, const std::string& root,
                                const std::vector<std::string>& also_files) {
    FileSystemProvider disk;
    return find_project_folder(disk, path, root, also_files);
}

std::string find_project_folder(SourceProvider& files, const std::string& path, const std::string& root,
                                const std::vector<std::string>& also_files) {
    if (path.empty() || path[0] != '/')
        return {};
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    std::string limit = root.empty() ? "/" : std::filesystem::path(root).lexically_normal().string();
    if (limit.size() > 1 && limit.back() == '/')
        limit.pop_back();
    std::string_view folder = parent_of(normal);
    // The whole walk stays inside root when it starts there: one test, not one per level.
    bool inside = limit == "/" || (folder.substr(0, limit.size()) == limit &&
                                   (folder.size() == limit.size() || folder[limit.size()] == '/'));
    if (!inside)
        return {};
    for (;;) {
        std::string here(folder);
        if (holds_lists(files, here, also_files))
            return here;
        if (folder.size() <= limit.size())
            return {};
        folder = parent_of(folder);
    }
}

ListsSearch find_lists(const std::string& script) {
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    ListsSearch search;
    if (error)
        return search;
    // The search starts in the folder that holds the script (a path inside it stands for it).
    std::string inside = script.empty() ? (here / "-").string()
                                        : (here / script).lexically_normal().string();
    // Shown as the user would name it: relative to the current folder where it lies inside it.
    std::filesystem::path start(std::string(parent_of(inside)));
    std::filesystem::path relative = start.lexically_relative(here);
    bool below = !relative.empty() && *relative.begin() != "..";
    search.start = below ? relative.string() : start.string();
    search.folder = find_project_folder(inside);
    return search;
}

std::string lists_not_found(const ListsSearch& search) {
    return "no folder from " + search.start + " up to / holds both " + EventListFile + " and " +
           CommandListFile;
}

}  // namespace vorn
