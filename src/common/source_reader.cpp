#include "source_reader.h"

#include <cstring>

namespace vorn {

// Notes when an input is the very file that the run is to write.
static void check_against_output(CompileState& s, FileId id) {
    if (s.output_id && *s.output_id == id)
        s.output_is_input = true;
}

// The file on top of the stack includes the file being opened, from its current line.
static vorn::SourceRecord new_record(const CompileState& s, const std::string& path, bool opened) {
    vorn::SourceRecord record;
    record.path = path;
    record.opened = opened;
    record.first_piece = static_cast<uint32_t>(s.result.lines.size());
    if (s.open_files) {
        record.includer = static_cast<int>(s.open_files->index);
        record.include_line = s.open_files->line;
    }
    return record;
}

void record_unopened(CompileState& s, const std::string& path) {
    s.result.files.push_back(new_record(s, path, false));
}

SourceFile* open_source(CompileState& s, const std::string& path) {
    std::unique_ptr<vorn::InputFile> input = s.provider.open(path);
    if (!input)
        return nullptr;
    auto* file = new SourceFile;
    file->block_size = s.include_depth < LargeBlockLevels ? SourceBlockSize : NestedSourceBlockSize;
    file->block_storage = std::make_unique_for_overwrite<unsigned char[]>(file->block_size + 1);
    file->block = file->block_storage.get();
    file->input = std::move(input);
    file->id = file->input->id();
    file->outer = s.open_files;
    file->index = static_cast<uint32_t>(s.result.files.size());
    file->line = 0;
    file->column = 0;
    file->piece_index = -1;
    file->raw[0] = '\0';
    file->piece = file->raw;
    file->clean = file->raw;
    file->piece_end = nullptr;
    file->hidden_at = nullptr;
    file->hidden = 0;
    file->pos = 0;
    file->end = 0;
    file->at_end = false;
    file->failed = false;
    s.result.files.push_back(new_record(s, path, true));
    s.result.files.back().id = file->id;
    s.open_files = file;
    check_against_output(s, file->id);
    return file;
}

// Reads the next block; false once there is nothing more to read. The file ends at an
// end-of-file mark: nothing after it is read.
static bool refill(SourceFile* file) {
    if (file->at_end)
        return false;
    file->pos = 0;
    long got = file->input->read(file->block, file->block_size);
    if (got <= 0) {
        file->end = 0;
        file->at_end = true;
        file->failed = got < 0;
        return false;
    }
    file->end = static_cast<std::size_t>(got);
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

std::size_t next_clean_piece_across(SourceFile* file, char* clean, std::size_t* cleaned) {
    if (file->pos == file->end && refill(file)) {
        // The piece starts a new block, where it may lie whole.
        if (std::size_t length = next_clean_piece_in_block(file, clean, cleaned))
            return length;
    }
    file->piece = file->raw;
    file->piece_end = nullptr;
    std::size_t length = read_piece(file, file->raw, SourceLineSize);
    *cleaned = preprocess_line(file->raw, clean);
    return length;
}

void close_source(CompileState& s, SourceFile* file) {
    s.open_files = file->outer;
    delete file;
}

void close_all_sources(CompileState& s) {
    while (s.open_files)
        close_source(s, s.open_files);
}

void remember_output_file(CompileState& s, const std::string& path) {
    s.output_id = s.provider.identify(path);
}

bool is_open_source(CompileState& s, const std::string& path) {
    std::optional<FileId> id = s.provider.identify(path);
    if (!id)
        return false;
    for (const SourceFile* file = s.open_files; file; file = file->outer)
        if (file->id == *id)
            return true;
    return false;
}

}  // namespace vorn
