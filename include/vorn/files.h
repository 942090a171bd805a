// Files as the tools read and write them: a whole file read at once, an output file that never
// holds a half-written file, and the numbers tools read from command lines and headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "sources.h"

namespace vorn {

class SourceProvider;
struct CompileResult;
class FileSystemProvider;

// The whole text of the file at path as the provider serves it (the file system, or an
// editor's unsaved text): nullopt when it cannot be opened, a read fails (a directory), or it
// holds more than limit bytes. Reads it exactly as it is, an end-of-file mark included.
std::optional<std::string> read_whole_file(SourceProvider& provider, const std::string& path,
                                           std::size_t limit);

// The source lines of a GNU report, read again through provider as the compiler reads them
// (cut at line feeds, a carriage return before one dropped, nothing after the old end-of-file
// mark). provider is the reader's own: it is set to open only regular files, so that a FIFO
// named on the command line is not waited on. Diagnostics come mostly in the order of their
// lines, so each file is read on from where the last line asked for stood, and only from its
// start again for an earlier line; the last few lines given are kept for the notes that point
// back. Of a line longer than MaxShownLineWidth only the window shown is kept, the file read
// in blocks. Memory stays that of a few windows, however long the file or its lines.
class ProviderLineReader : public SourceLineReader {
public:
    // Files open at once (an include chain goes in and out of them), and lines kept.
    static constexpr std::size_t OpenFiles = 4;
    static constexpr std::size_t KeptLines = 64;

    explicit ProviderLineReader(FileSystemProvider& provider);
    ~ProviderLineReader() override;
    std::optional<SourceLinePart> line(const std::string& file, uint32_t line, uint32_t column) override;

private:
    struct Cursor;
    struct KeptLine {
        std::string file;
        uint32_t line;
        std::string text;  // the line's bytes from offset
        std::size_t offset;
        std::size_t size;  // the line's, or when not whole, the bytes read of it
        bool whole;
    };
    FileSystemProvider& provider_;
    std::vector<std::unique_ptr<Cursor>> open_;  // the most recently used last
    std::vector<KeptLine> kept_;                 // the most recently given last
};

// An unsigned number that is all of text: decimal digits, or with allow_hex also hexadecimal
// ones after "0x" or "0X". nullopt for anything else (no digits, a sign, a blank, a stray
// character) and for a number above max.
std::optional<uint64_t> parse_unsigned(std::string_view text, uint64_t max, bool allow_hex);

enum class OutputWrite {
    Written,
    // The output cannot be opened for writing: a missing folder, a directory, no permission.
    CannotOpen,
    // A write, the close or the rename failed; a regular output keeps its old content.
    CannotWrite,
    // The output is one of the files the run read (see names_one_of): nothing was written.
    IsInput,
};

// Writes size bytes of data as the file path names. Prints nothing and never exits.
//
// A regular output, new or existing, is written to a fresh file `.<name>.vorn-XXXXXX` in
// the output's folder and renamed over it once it is complete, so the output holds either
// its old content or the whole new file. On any failure that file is removed and an old
// output stays as it was. In detail:
// - a symbolic link stays a link: links are followed (a chain, a relative one from the
//   link's folder) and the file at the end gets the new content; a dangling link creates it;
// - a hard-linked output: the name given gets the new file, its other names keep the old one;
// - an existing file keeps its permission bits (and its owner and group where we may set
//   them); a new one gets 0666 less the umask, as any file we create;
// - a device, a FIFO, or a link of /proc (such as /dev/stdout or /dev/fd/N) is opened and
//   written as it is, never renamed or removed; a directory cannot be opened;
// - where no file can be made beside the output (a folder we may not write to) but the
//   output can be opened for writing, it is written in place; a write that fails there
//   removes it, or empties it where it cannot be removed;
// - a write beyond the file-size limit is a write failure, not a SIGXFSZ;
// - SIGINT, SIGTERM or SIGHUP while the temporary file exists removes it, and then the
//   signal's default action ends the process (a handler of the caller's own for them is
//   not called in that time). Signals the process ignores stay ignored.
// Signal dispositions and the signal mask are as they were when it returns.
OutputWrite write_output_file(const char* path, const void* data, std::size_t size);

// Whether path names one of files: the same device and inode, whatever the spelling, through
// symbolic links and hard links. False when nothing is at path.
bool names_one_of(const char* path, const std::vector<FileId>& files);

// The files a compile opened (the lists, the scripts), by who they are, not by name.
std::vector<FileId> files_read(const CompileResult& result);

// write_output_file for a tool's output (a listing, a map, a dependency file): IsInput, and
// nothing written, when path names one of inputs.
OutputWrite write_output_file(const char* path, const void* data, std::size_t size,
                              const std::vector<FileId>& inputs);

// Replaces a user's own file (a script the formatter or --fix rewrites) with size bytes of
// data: they are written to a fresh file `.<name>.vorn-XXXXXX` beside it (beside the file a
// symbolic link leads to) and renamed over it, so the file holds either its old bytes or the
// whole new text, whatever happens, a full disk, ulimit -f or a kill among them. It is never
// written in place: where that is the only way (a folder that may not be written, a bind
// mount), or the file is no regular file (a FIFO, a device, /dev/stdin), or it may not be
// written, nothing is changed. The new file keeps the old one's permission bits, and its
// owner and group where we may set them; the other names of a hard-linked file keep the old
// text. Empty on success, else why it was not replaced ("cannot make a file beside it in
// lib: Permission denied"). Signals are handled as in write_output_file.
std::string replace_file(const char* path, const void* data, std::size_t size);

// For tests only: called with the temporary file's path once it holds every byte and is
// closed, just before the rename, so that a test can look at it or send a signal then.
// The compiler never sets it.
using OutputWriteHook = void (*)(const char* temp_path);
void set_output_write_hook(OutputWriteHook hook);

}  // namespace vorn
