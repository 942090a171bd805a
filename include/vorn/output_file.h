// Writing a tool's output or a user's file so that it never holds a half-written file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sources.h"

namespace vorn {

struct CompileResult;

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
