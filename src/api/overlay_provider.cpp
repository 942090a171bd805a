// Text that the caller serves in place of files (an editor's unsaved documents). Kept apart
// from the file system's provider, so that a tool that only reads files does not link
// std::filesystem.
#include <cstring>
#include <filesystem>
#include <functional>

#include <vorn/sources.h>

namespace vorn {

namespace {

// Served text that has no file on disk still needs an identity of its own.
constexpr uint64_t ServedDevice = UINT64_MAX;

}  // namespace

OverlayProvider::OverlayProvider(std::string folder) : FileSystemProvider(std::move(folder)) {}

OverlayProvider::OverlayProvider(SourceProvider& base, std::string folder)
    : FileSystemProvider(std::move(folder)), base_(&base) {}

std::string OverlayProvider::key(const std::string& path) const {
    std::filesystem::path full(resolve(path));
    if (full.is_relative())
        full = std::filesystem::current_path() / full;
    return full.lexically_normal().string();
}

void OverlayProvider::serve(const std::string& path, std::string text) {
    serve(path, std::make_shared<const std::string>(std::move(text)));
}

void OverlayProvider::serve(const std::string& path, std::shared_ptr<const std::string> text) {
    texts_[key(path)] = std::move(text);
}

std::shared_ptr<const std::string> OverlayProvider::served(const std::string& path) const {
    auto found = texts_.find(key(path));
    return found == texts_.end() ? nullptr : found->second;
}

void OverlayProvider::forget(const std::string& path) { texts_.erase(key(path)); }

std::unique_ptr<InputFile> OverlayProvider::open(const std::string& path) {
    auto served = texts_.find(key(path));
    if (served == texts_.end())
        return base_ ? base_->open(resolve(path)) : FileSystemProvider::open(path);
    return open_text(served->second, *identify(path));
}

std::optional<FileId> OverlayProvider::identify(const std::string& path) {
    if (std::optional<FileId> on_disk = base_ ? base_->identify(resolve(path)) : FileSystemProvider::identify(path))
        return on_disk;
    std::string served = key(path);
    if (texts_.count(served) == 0)
        return std::nullopt;
    return FileId{ServedDevice, std::hash<std::string>{}(served)};
}

std::optional<FileInfo> OverlayProvider::stat(const std::string& path) {
    return base_ ? base_->stat(resolve(path)) : FileSystemProvider::stat(path);
}

FolderListing OverlayProvider::list(const std::string& folder, std::size_t max_entries) {
    return base_ ? base_->list(resolve(folder), max_entries) : FileSystemProvider::list(folder, max_entries);
}

}  // namespace vorn
