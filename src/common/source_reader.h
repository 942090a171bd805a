// Reading script and list files in pieces: a line, or as much of it as fits the caller's
// buffer. Every open file is kept on the state's stack of open files, innermost first.
#pragma once

#include <cstddef>
#include <cstdio>

#include "compile_state.h"

// Bytes read from the disk at a time, per open file.
constexpr std::size_t SourceBlockSize = 16384;

// The old end-of-file mark: a file ends where it stands.
constexpr unsigned char EndOfFileMark = 0x1A;

struct SourceFile {
    FILE* fp;
    FileId id;
    SourceFile* outer;
    std::size_t pos;
    std::size_t end;
    bool at_end;
    bool failed;
    unsigned char block[SourceBlockSize];
};

// Opens a file for reading and pushes it on the stack; nullptr if it cannot be opened.
SourceFile* open_source(const char* path);

// Reads the next piece into line: up to and including the next line feed, but at most
// capacity - 1 characters, NUL-terminated. Returns its length (NUL bytes inside count),
// 0 once the file has ended. A read error ends the file and sets failed.
std::size_t read_piece(SourceFile* file, char* line, std::size_t capacity);

// Closes the innermost open file and pops it off the stack.
void close_source(SourceFile* file);

// Closes every file still open, for a run that was cut short.
void close_all_sources();

// Notes the identity of the output file, if it exists, so that opening it as an input is noticed.
void remember_output_file(const char* path);

// Whether the file at path is one of the open files (the same device and inode).
bool is_open_source(const char* path);
