// Where a compile's inputs come from: the file system, or the file system with some paths
// served from memory (an editor's unsaved documents).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

namespace vorn {

// Identity of a file, used to tell when two paths name the same file.
struct FileId {
    uint64_t device;
    uint64_t inode;
    bool operator==(const FileId&) const = default;
};

// One open input file, read from the start to its end.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to size bytes; returns how many (0 at the end), or -1 on a read error.
    virtual long read(unsigned char* into, std::size_t size) = 0;
    // Whether the -1 of read() came from the file going past the bound its provider reads
    // of it (FileSystemProvider::MaxStreamSize, MaxRegularFileSize), not from the system.
    virtual bool over_bound() const { return false; }
    // Who the file is, for the include-cycle and output-is-input checks.
    virtual FileId id() const = 0;
};

// Why a provider chose not to open a file that is there (see
// FileSystemProvider::open_regular_files_only).
enum class OpenRefusal {
    None,           // it was opened, or it cannot be opened
    NotRegularFile, // a FIFO, a device, a socket, a directory
    TooLarge,       // a regular file over the provider's size bound
};

// Where scripts, their includes and the two lists come from. Paths are passed as they are
// written on the command line or on an include line.
class SourceProvider {
public:
    virtual ~SourceProvider() = default;
    // Opens a file for reading; nullptr if it cannot be opened.
    virtual std::unique_ptr<InputFile> open(const std::string& path) = 0;
    // Why the last open() gave nullptr, where the provider refused a file that is there.
    virtual OpenRefusal refusal() const { return OpenRefusal::None; }
    // Who the file at path is, if there is one.
    virtual std::optional<FileId> identify(const std::string& path) = 0;
};

// Reads the file system, relative paths relative to a folder (empty: the current one).
class FileSystemProvider : public SourceProvider {
public:
    // The size bound of open_regular_files_only, for a server that must not block or
    // fill its memory on whatever an include names.
    static constexpr uint64_t MaxRegularFileSize = uint64_t{64} << 20;
    // What is read of a file that is not a regular one (a device such as /dev/zero, a FIFO,
    // a terminal), which may never end: past it, read() fails and over_bound() says so.
    // vorn's own driver lifts the bound (read_streams_whole).
    static constexpr uint64_t MaxStreamSize = uint64_t{64} << 20;

    explicit FileSystemProvider(std::string folder = {});
    std::unique_ptr<InputFile> open(const std::string& path) override;
    std::optional<FileId> identify(const std::string& path) override;
    OpenRefusal refusal() const override { return refusal_; }
    // The path as the file system is asked for it: folder/path, or path itself.
    std::string resolve(const std::string& path) const;
    // From now on opens only regular files of at most max_size bytes: anything else (a
    // FIFO, a device, /dev/stdin, a directory) is refused unopened, and refusal() says why.
    // A file that grows past max_size while it is read gives a read error there. The
    // command-line tools read whatever the path names, as vorn does.
    void open_regular_files_only(uint64_t max_size = MaxRegularFileSize);
    // From now on reads a file that is not a regular one to its end, however long: what
    // vorn has always done with the script it is given.
    void read_streams_whole() { stream_bound_ = UINT64_MAX; }

private:
    std::string folder_;
    std::optional<uint64_t> regular_only_;  // the size bound, in that mode
    uint64_t stream_bound_ = MaxStreamSize;
    OpenRefusal refusal_ = OpenRefusal::None;
};

// The file system, except for the paths whose text the caller serves (an editor's unsaved
// documents). A served path is matched after resolving it against the folder and removing
// "." and ".." steps, so "lib/a.vs" and "/project/./lib/a.vs" are the same document.
class OverlayProvider : public FileSystemProvider {
public:
    explicit OverlayProvider(std::string folder = {});
    void serve(const std::string& path, std::string text);
    // The same, without a copy: the caller's immutable bytes are shared with every read.
    void serve(const std::string& path, std::shared_ptr<const std::string> text);
    void forget(const std::string& path);
    std::unique_ptr<InputFile> open(const std::string& path) override;
    std::optional<FileId> identify(const std::string& path) override;
    // The text served for path; nullptr when none is.
    std::shared_ptr<const std::string> served(const std::string& path) const;

private:
    std::string key(const std::string& path) const;
    std::unordered_map<std::string, std::shared_ptr<const std::string>> texts_;
};

}  // namespace vorn
