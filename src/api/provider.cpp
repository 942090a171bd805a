// Where a compile's inputs come from: the file system, or text that the caller serves.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

#include "vorn.h"

namespace vorn {

namespace {

FileId id_of(const struct stat& st) {
    return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

class DiskFile : public InputFile {
public:
    DiskFile(int fd, FileId id) : fd_(fd), id_(id) {}
    ~DiskFile() override { close(fd_); }
    long read(unsigned char* into, std::size_t size) override {
        for (;;) {
            ssize_t got = ::read(fd_, into, size);
            if (got >= 0 || errno != EINTR)
                return static_cast<long>(got);
        }
    }
    FileId id() const override { return id_; }

private:
    int fd_;
    FileId id_;
};

class TextFile : public InputFile {
public:
    TextFile(const std::string& text, FileId id) : text_(text), id_(id) {}
    long read(unsigned char* into, std::size_t size) override {
        std::size_t left = text_.size() - pos_;
        std::size_t n = size < left ? size : left;
        memcpy(into, text_.data() + pos_, n);
        pos_ += n;
        return static_cast<long>(n);
    }
    FileId id() const override { return id_; }

private:
    // A copy: the caller may serve new text for the path while this file is being read.
    std::string text_;
    FileId id_;
    std::size_t pos_ = 0;
};

// Served text that has no file on disk still needs an identity of its own.
constexpr uint64_t ServedDevice = UINT64_MAX;

}  // namespace

FileSystemProvider::FileSystemProvider(std::string folder) : folder_(std::move(folder)) {}

std::string FileSystemProvider::resolve(const std::string& path) const {
    if (folder_.empty() || (!path.empty() && path[0] == '/'))
        return path;
    return folder_ + "/" + path;
}

std::unique_ptr<InputFile> FileSystemProvider::open(const std::string& path) {
    int fd = ::open(resolve(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st = {};
    FileId id = fstat(fd, &st) == 0 ? id_of(st) : FileId{0, 0};
    return std::make_unique<DiskFile>(fd, id);
}

std::optional<FileId> FileSystemProvider::identify(const std::string& path) {
    struct stat st;
    if (stat(resolve(path).c_str(), &st) != 0)
        return std::nullopt;
    return id_of(st);
}

OverlayProvider::OverlayProvider(std::string folder) : FileSystemProvider(std::move(folder)) {}

std::string OverlayProvider::key(const std::string& path) const {
    std::filesystem::path full(resolve(path));
    if (full.is_relative())
        full = std::filesystem::current_path() / full;
    return full.lexically_normal().string();
}

void OverlayProvider::serve(const std::string& path, std::string text) {
    texts_[key(path)] = std::move(text);
}

void OverlayProvider::forget(const std::string& path) { texts_.erase(key(path)); }

std::unique_ptr<InputFile> OverlayProvider::open(const std::string& path) {
    auto served = texts_.find(key(path));
    if (served == texts_.end())
        return FileSystemProvider::open(path);
    return std::make_unique<TextFile>(served->second, *identify(path));
}

std::optional<FileId> OverlayProvider::identify(const std::string& path) {
    if (std::optional<FileId> on_disk = FileSystemProvider::identify(path))
        return on_disk;
    std::string served = key(path);
    if (texts_.count(served) == 0)
        return std::nullopt;
    return FileId{ServedDevice, std::hash<std::string>{}(served)};
}

}  // namespace vorn
