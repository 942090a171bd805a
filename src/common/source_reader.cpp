#include "source_reader.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

static FileId file_id_of(const struct stat& st) {
    return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

static bool same_file(FileId a, FileId b) { return a.device == b.device && a.inode == b.inode; }

// Notes when an input is the very file that the run is to write.
static void check_against_output(FileId id) {
    if (state.output_exists && same_file(id, state.output_id))
        state.output_is_input = true;
}

SourceFile* open_source(const char* path) {
    FILE* fp = fopen(path, "r");
    if (!fp)
        return nullptr;
    auto* file = static_cast<SourceFile*>(malloc(sizeof(SourceFile)));
    if (!file) {
        fclose(fp);
        return nullptr;
    }
    // The file is read in whole blocks into our own buffer; stdio's would be a second copy.
    setvbuf(fp, nullptr, _IONBF, 0);
    struct stat st = {};
    file->fp = fp;
    file->id = fstat(fileno(fp), &st) == 0 ? file_id_of(st) : FileId{0, 0};
    file->outer = state.open_files;
    file->pos = 0;
    file->end = 0;
    file->at_end = false;
    file->failed = false;
    state.open_files = file;
    check_against_output(file->id);
    return file;
}

// Reads the next block; false once there is nothing more to read. The file ends at an
// end-of-file mark: nothing after it is read.
static bool refill(SourceFile* file) {
    if (file->at_end)
        return false;
    file->pos = 0;
    file->end = fread(file->block, 1, SourceBlockSize, file->fp);
    if (file->end == 0) {
        file->at_end = true;
        file->failed = ferror(file->fp) != 0;
        return false;
    }
    if (const void* mark = memchr(file->block, EndOfFileMark, file->end)) {
        file->end = static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - file->block);
        file->at_end = true;
    }
    return file->end > 0;
}

std::size_t read_piece(SourceFile* file, char* line, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity - 1) {
        if (file->pos == file->end && !refill(file))
            break;
        const unsigned char* start = file->block + file->pos;
        std::size_t span = file->end - file->pos;
        if (span > capacity - 1 - length)
            span = capacity - 1 - length;
        const void* newline = memchr(start, '\n', span);
        if (newline)
            span = static_cast<std::size_t>(static_cast<const unsigned char*>(newline) - start) + 1;
        memcpy(line + length, start, span);
        length += span;
        file->pos += span;
        if (newline)
            break;
    }
    line[length] = '\0';
    return length;
}

void close_source(SourceFile* file) {
    state.open_files = file->outer;
    fclose(file->fp);
    free(file);
}

void close_all_sources() {
    while (state.open_files)
        close_source(state.open_files);
}

void remember_output_file(const char* path) {
    struct stat st;
    state.output_exists = stat(path, &st) == 0;
    if (state.output_exists)
        state.output_id = file_id_of(st);
}

bool is_open_source(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    FileId id = file_id_of(st);
    for (const SourceFile* file = state.open_files; file; file = file->outer)
        if (same_file(id, file->id))
            return true;
    return false;
}
