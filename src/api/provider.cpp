// Where a compile's inputs come from: the file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <vorn/vorn.h>

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

}  // namespace vorn
