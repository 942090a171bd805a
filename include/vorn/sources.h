// Where a compile's inputs come from: the file system, or the file system with some paths
// served from memory (an editor's unsaved documents).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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

// A file whose bytes are already in memory. The shared form holds its text, which is never
// changed: a caller may serve new text for the path while this file is being read, and that
// replaces the pointer, not these bytes. The other form reads bytes that the caller keeps
// alive and unchanged until the file is closed.
std::unique_ptr<InputFile> open_text(std::shared_ptr<const std::string> text, FileId id);
std::unique_ptr<InputFile> open_text(std::string_view text, FileId id);

// Why a provider chose not to open a file that is there (see
// FileSystemProvider::open_regular_files_only).
enum class OpenRefusal {
    None,           // it was opened, or it cannot be opened
    NotRegularFile, // a FIFO, a device, a socket, a directory
    TooLarge,       // a regular file over the provider's size bound
};

// What a path names, seen through symbolic links.
enum class FileKind : uint8_t {
    File,    // a regular file
    Folder,
    Other,   // a FIFO, a device, a socket
};

struct FileInfo {
    FileKind kind;
    uint64_t size;  // bytes, for a regular file
    FileId id;
};

// The entries of a folder, "." and ".." left out, in no particular order.
struct FolderListing {
    std::vector<std::string> names;
    // Why the folder could not be read ("No such file or directory"); empty when it was.
    std::string error;
    // More entries were there than the listing was allowed to hold.
    bool cut = false;
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
    // What path names, if anything: what a walk over a project's folders and a search for
    // its lists ask. A provider that serves files only (no folders) knows of none.
    virtual std::optional<FileInfo> stat(const std::string& path);
    // At most max_entries names of the folder's entries.
    virtual FolderListing list(const std::string& folder, std::size_t max_entries);
};

// Files served from memory, and the folders their paths imply: a whole project tree for a
// page in a browser or a test, with no file system under it. Paths are kept normal (no "."
// or ".." steps); relative ones are taken relative to the folder given.
class MemoryProvider : public SourceProvider {
public:
    explicit MemoryProvider(std::string folder = "/");
    // Adds the file at path, or replaces its text; its folders come into being with it.
    void serve(const std::string& path, std::string text);
    // Removes the file; a folder left with nothing in it goes with it.
    void forget(const std::string& path);
    void clear();
    std::unique_ptr<InputFile> open(const std::string& path) override;
    std::optional<FileId> identify(const std::string& path) override;
    std::optional<FileInfo> stat(const std::string& path) override;
    FolderListing list(const std::string& folder, std::size_t max_entries) override;
    // path as it is kept: absolute and normal.
    std::string key(const std::string& path) const;

private:
    struct Entry {
        std::shared_ptr<const std::string> text;  // nullptr: a folder
        uint64_t number;                          // its identity, for as long as it is there
        std::set<std::string> children;           // for a folder: the names in it
    };
    std::string folder_;
    std::unordered_map<std::string, Entry> entries_;
    uint64_t next_number_ = 1;
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
    std::optional<FileInfo> stat(const std::string& path) override;
    FolderListing list(const std::string& folder, std::size_t max_entries) override;
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

// The file system (or another provider), except for the paths whose text the caller serves
// (an editor's unsaved documents). A served path is matched after resolving it against the
// folder and removing "." and ".." steps, so "lib/a.vs" and "/project/./lib/a.vs" are the
// same document. stat() and list() see the files under it alone, not what is served.
class OverlayProvider : public FileSystemProvider {
public:
    explicit OverlayProvider(std::string folder = {});
    // Over base rather than the file system: the paths not served are passed to it resolved
    // against folder. base must outlive the overlay.
    OverlayProvider(SourceProvider& base, std::string folder);
    void serve(const std::string& path, std::string text);
    // The same, without a copy: the caller's immutable bytes are shared with every read.
    void serve(const std::string& path, std::shared_ptr<const std::string> text);
    void forget(const std::string& path);
    std::unique_ptr<InputFile> open(const std::string& path) override;
    std::optional<FileId> identify(const std::string& path) override;
    std::optional<FileInfo> stat(const std::string& path) override;
    FolderListing list(const std::string& folder, std::size_t max_entries) override;
    OpenRefusal refusal() const override { return base_ ? base_->refusal() : FileSystemProvider::refusal(); }
    // The text served for path; nullptr when none is.
    std::shared_ptr<const std::string> served(const std::string& path) const;

private:
    std::string key(const std::string& path) const;
    SourceProvider* base_ = nullptr;
    std::unordered_map<std::string, std::shared_ptr<const std::string>> texts_;
};

}  // namespace vorn
