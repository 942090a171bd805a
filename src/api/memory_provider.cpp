// A whole tree of files served from memory.
#include <cstring>
#include <filesystem>

#include <vorn/sources.h>

namespace vorn {

namespace {

// The identities of memory files: no file system gives this device number.
constexpr uint64_t MemoryDevice = UINT64_MAX - 1;

std::string parent_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

MemoryProvider::MemoryProvider(std::string folder) : folder_(std::move(folder)) {
    if (folder_.empty() || folder_[0] != '/')
        folder_ = "/" + folder_;
    folder_ = std::filesystem::path(folder_).lexically_normal().string();
    if (folder_.size() > 1 && folder_.back() == '/')
        folder_.pop_back();
    clear();
}

std::string MemoryProvider::key(const std::string& path) const {
    std::filesystem::path full = !path.empty() && path[0] == '/' ? std::filesystem::path(path)
                                                                 : std::filesystem::path(folder_) / path;
    std::string text = full.lexically_normal().string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

void MemoryProvider::clear() {
    entries_.clear();
    entries_.emplace("/", Entry{nullptr, next_number_++, {}});
}

void MemoryProvider::serve(const std::string& path, std::string text) {
    std::string file = key(path);
    if (file == "/")
        return;
    auto found = entries_.find(file);
    if (found != entries_.end()) {
        // A folder stays a folder: a file cannot take its place while files are under it.
        if (found->second.text)
            found->second.text = std::make_shared<const std::string>(std::move(text));
        return;
    }
    // Every folder above it, made where missing; a file standing where a folder must be
    // refuses the new file.
    std::vector<std::string> above;
    for (std::string folder = parent_of(file);; folder = parent_of(folder)) {
        auto at = entries_.find(folder);
        if (at != entries_.end() && at->second.text)
            return;
        above.push_back(folder);
        if (at != entries_.end() || folder == "/")
            break;
    }
    std::string child = file;
    for (const std::string& folder : above) {
        auto [at, made] = entries_.try_emplace(folder, Entry{nullptr, 0, {}});
        if (made)
            at->second.number = next_number_++;
        at->second.children.insert(name_of(child));
        child = folder;
    }
    entries_.emplace(file, Entry{std::make_shared<const std::string>(std::move(text)), next_number_++, {}});
}

void MemoryProvider::forget(const std::string& path) {
    std::string file = key(path);
    auto found = entries_.find(file);
    if (found == entries_.end() || !found->second.text)
        return;
    entries_.erase(found);
    // Folders left empty go with it.
    for (std::string child = file; child != "/";) {
        std::string folder = parent_of(child);
        Entry& parent = entries_.at(folder);
        parent.children.erase(name_of(child));
        if (!parent.children.empty() || folder == "/")
            break;
        entries_.erase(folder);
        child = folder;
    }
}

std::unique_ptr<InputFile> MemoryProvider::open(const std::string& path) {
    auto found = entries_.find(key(path));
    if (found == entries_.end() || !found->second.text)
        return nullptr;
    return open_text(found->second.text, FileId{MemoryDevice, found->second.number});
}

std::optional<FileId> MemoryProvider::identify(const std::string& path) {
    auto found = entries_.find(key(path));
    if (found == entries_.end())
        return std::nullopt;
    return FileId{MemoryDevice, found->second.number};
}

std::optional<FileInfo> MemoryProvider::stat(const std::string& path) {
    auto found = entries_.find(key(path));
    if (found == entries_.end())
        return std::nullopt;
    const Entry& entry = found->second;
    return FileInfo{entry.text ? FileKind::File : FileKind::Folder, entry.text ? entry.text->size() : 0,
                    FileId{MemoryDevice, entry.number}};
}

FolderListing MemoryProvider::list(const std::string& folder, std::size_t max_entries) {
    FolderListing listing;
    auto found = entries_.find(key(folder));
    if (found == entries_.end()) {
        listing.error = "No such file or directory";
        return listing;
    }
    if (found->second.text) {
        listing.error = "Not a directory";
        return listing;
    }
    for (const std::string& name : found->second.children) {
        if (listing.names.size() == max_entries) {
            listing.cut = true;
            break;
        }
        listing.names.push_back(name);
    }
    return listing;
}

}  // namespace vorn
