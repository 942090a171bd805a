// Files as the tools read and write them: a whole file read at once, and an output file that
// never holds a half-written file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vorn {

enum class OutputWrite {
    Written,
    // The output cannot be opened for writing: a missing folder, a directory, no permission.
    CannotOpen,
    // A write, the close or the rename failed; a regular output keeps its old content.
    CannotWrite,
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

// For tests only: called with the temporary file's path once it holds every byte and is
// closed, just before the rename, so that a test can look at it or send a signal then.
// The compiler never sets it.
using OutputWriteHook = void (*)(const char* temp_path);
void set_output_write_hook(OutputWriteHook hook);

}  // namespace vorn
