// What vorn-list makes of a compile: the listing, the symbol map, and the answer to "which
// statement is at this code offset".
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <vorn/vorn.h>

namespace vorn_list {

// The text of every script file as it is on disk, read again through the provider that the
// compile used, cut into lines the way the compiler reads them (at a line feed, and at the
// old end-of-file mark).
class SourceTexts {
public:
    explicit SourceTexts(vorn::SourceProvider& provider) : provider_(provider) {}
    // Line number line (from 1) of the file at path, without its line end (a line feed, and a
    // carriage return before it); empty when the file or the line is gone.
    const std::string& line(const std::string& path, uint32_t line);

private:
    vorn::SourceProvider& provider_;
    std::map<std::string, std::vector<std::string>> files_;
};

// One line of the listing: a source line as it was compiled, with the code it emitted. The
// pieces of a long line make one listed line when they follow each other; a piece that comes
// after the lines of a file that an earlier piece included is listed on its own.
struct ListedLine {
    // Its first piece's index in the result's lines.
    uint32_t first_piece;
    uint32_t file;
    uint32_t line;
    // Column where the listed text starts: 1, or where a piece listed on its own starts.
    uint32_t column;
    // The code this line emitted itself, without that of files it includes.
    uint16_t code_begin;
    uint16_t code_end;
    // Indexes into the result's diagnostics that stand on this line.
    std::vector<std::size_t> diagnostics;
};

// The result's pieces as listed lines, in the order compiled. result must have been compiled
// with options.record_lines.
std::vector<ListedLine> listed_lines(const vorn::CompileResult& result);

// The whole listing: file headers, listed lines with their offsets, bytes, text and
// diagnostics, a summary and the symbol table.
std::string listing(const vorn::CompileResult& result, SourceTexts& texts);

// The symbol map alone, one symbol a line: kind, name, value, file, line, separated by tabs.
std::string map_file(const vorn::CompileResult& result);

// The listed line whose code holds offset, if any.
std::optional<std::size_t> line_at(const std::vector<ListedLine>& lines, uint32_t offset);

// "FILE:LINE:TEXT" for a listed line, the way grep -n shows a line: the whole line's text.
std::string line_answer(const vorn::CompileResult& result, SourceTexts& texts,
                        const ListedLine& line);

}  // namespace vorn_list
