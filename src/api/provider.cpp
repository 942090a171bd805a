// Where a compile's inputs come from: the file system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <vorn/sources.h>

namespace vorn {

namespace {

FileId id_of(const struct stat& st) {
    return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

class DiskFile : public InputFile {
public:
    DiskFile(int fd, FileId id, uint64_t limit) : fd_(fd), id_(id), left_(limit) {}
    ~DiskFile() override { close(fd_); }
    long read(unsigned char* into, std::size_t size) override {
        for (;;) {
            ssize_t got = ::read(fd_, into, size);
            if (got < 0 && errno == EINTR)
                continue;
            if (got > 0 && static_cast<uint64_t>(got) > left_) {
                over_bound_ = true;
                return -1;
            }
            if (got > 0)
                left_ -= static_cast<uint64_t>(got);
            return static_cast<long>(got);
        }
    }
    FileId id() const override { return id_; }
    bool over_bound() const override { return over_bound_; }

private:
    int fd_;
    FileId id_;
    uint64_t left_;  // bytes it may still give
    bool over_bound_ = false;
};

class TextFile : public InputFile {
public:
    TextFile(std::string_view text, std::shared_ptr<const std::string> owner, FileId id)
        : text_(text), owner_(std::move(owner)), id_(id) {}
    long read(unsigned char* into, std::size_t size) override {
        std::size_t n = std::min(size, text_.size() - pos_);
        std::copy_n(text_.data() + pos_, n, into);
        pos_ += n;
        return static_cast<long>(n);
    }
    FileId id() const override { return id_; }

private:
    std::string_view text_;
    std::shared_ptr<const std::string> owner_;  // what keeps text_ alive, when it is shared
    FileId id_;
    std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<InputFile> open_text(std::shared_ptr<const std::string> text, FileId id) {
    std::string_view view = *text;
    return std::make_unique<TextFile>(view, std::move(text), id);
}

std::unique_ptr<InputFile> open_text(std::string_view text, FileId id) {
    return std::make_unique<TextFile>(text, nullptr, id);
}

// A provider that serves files alone knows of no folders.
std::optional<FileInfo> SourceProvider::stat(const std::string&) { return std::nullopt; }

FolderListing SourceProvider::list(const std::string&, std::size_t) {
    return FolderListing{{}, strerror(ENOENT), false};
}

FileSystemProvider::FileSystemProvider(std::string folder) : folder_(std::move(folder)) {}

std::string FileSystemProvider::resolve(const std::string& path) const {
    if (folder_.empty() || (!path.empty() && path[0] == '/'))
        return path;
    return folder_ + "/" + path;
}

void FileSystemProvider::open_regular_files_only(uint64_t max_size) {
    regular_only_ = max_size;
}

std::unique_ptr<InputFile> FileSystemProvider::open(const std::string& path) {
    refusal_ = OpenRefusal::None;
    std::string name = resolve(path);
    if (!regular_only_) {
        int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return nullptr;
        struct stat st = {};
        const bool known = fstat(fd, &st) == 0;
        FileId id = known ? id_of(st) : FileId{0, 0};
        // A regular file ends; anything else (/dev/zero, a FIFO fed forever) may not.
        const uint64_t bound = known && S_ISREG(st.st_mode) ? UINT64_MAX : stream_bound_;
        return std::make_unique<DiskFile>(fd, id, bound);
    }
    // Looked at before it is opened (opening a FIFO or a device can block or act), and
    // again once open, for a file replaced in between; O_NONBLOCK keeps that open from
    // blocking on a FIFO put there meanwhile.
    auto refused = [&](const struct stat& st) {
        if (!S_ISREG(st.st_mode))
            refusal_ = OpenRefusal::NotRegularFile;
        else if (static_cast<uint64_t>(st.st_size) > *regular_only_)
            refusal_ = OpenRefusal::TooLarge;
        return refusal_ != OpenRefusal::None;
    };
    struct stat st = {};
    if (::stat(name.c_str(), &st) != 0 || refused(st))
        return nullptr;
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    if (fstat(fd, &st) != 0 || refused(st)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<DiskFile>(fd, id_of(st), *regular_only_);
}

std::optional<FileId> FileSystemProvider::identify(const std::string& path) {
    struct stat st;
    if (::stat(resolve(path).c_str(), &st) != 0)
        return std::nullopt;
    return id_of(st);
}

std::optional<FileInfo> FileSystemProvider::stat(const std::string& path) {
    struct stat st;
    if (::stat(resolve(path).c_str(), &st) != 0)
        return std::nullopt;
    FileKind kind = S_ISREG(st.st_mode) ? FileKind::File : S_ISDIR(st.st_mode) ? FileKind::Folder : FileKind::Other;
    return FileInfo{kind, static_cast<uint64_t>(st.st_size), id_of(st)};
}

FolderListing FileSystemProvider::list(const std::string& folder, std::size_t max_entries) {
    FolderListing listing;
    DIR* dir = opendir(resolve(folder).c_str());
    if (!dir) {
        listing.error = strerror(errno);
        return listing;
    }
    while (dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        if (listing.names.size() == max_entries) {
            listing.cut = true;
            break;
        }
        listing.names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return listing;
}

}  // namespace vorn
