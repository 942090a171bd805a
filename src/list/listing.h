// What vorn-list makes of a compile: the listing, the symbol map, and the answer to "which
// statement is at this code offset". The listing is made while the compile runs, line by line
// as the compile reaches them, so that what is kept does not grow with the script: the line
// being listed, the files open, the symbols and the diagnostics.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <vorn/result.h>

namespace vorn_list {

// The lines of the script files as they are on disk, read again through the provider that the
// compile uses, in step with it: for each file the compile opened (by its index in the result's
// files, so that a file included twice is read twice), a cursor that keeps only the line it is
// at. Lines are cut the way the compiler reads them: at a line feed, and at the old end-of-file
// mark.
class SourceTexts {
public:
    explicit SourceTexts(vorn::SourceProvider& provider);
    ~SourceTexts();
    // Line number line (from 1) of the file at path that the result's files record at index
    // file, without its line end (a line feed, and a carriage return before it); empty when the
    // file or the line is gone. The lines of one file are asked for in the order of the file;
    // one before the last asked for is empty.
    const std::string& line(uint32_t file, const std::string& path, uint32_t line);
    // The same line from byte from on, handed to sink in pieces as it is read, so that a line
    // of any length is never kept whole.
    void each_piece(uint32_t file, const std::string& path, uint32_t line, std::size_t from,
                    const std::function<void(std::string_view)>& sink);
    // Lets go of a file that the compile has left.
    void close(uint32_t file);

private:
    struct Cursor;
    // The file's cursor, having read the lines before line; nullptr when the file ended first.
    Cursor* cursor_before(uint32_t file, const std::string& path, uint32_t line);
    vorn::SourceProvider& provider_;
    std::unordered_map<uint32_t, std::unique_ptr<Cursor>> cursors_;
};

// One line of the listing: a source line as it was compiled, with the code it emitted. The
// pieces of a long line make one listed line when they follow each other; a piece that comes
// after the lines of a file that an earlier piece included is listed on its own.
struct ListedLine {
    uint32_t file;
    uint32_t line;
    // Column where the listed text starts: 1, or where a piece listed on its own starts.
    uint32_t column;
    // The code this line emitted itself, without that of files it includes.
    uint16_t code_begin;
    uint16_t code_end;
};

// Follows a compile piece by piece (as its line observer) and hands on each listed line once it
// is complete with the diagnostics that stand on it, the files the compile enters and goes back
// to, and the diagnostics that stand on no line. It keeps the diagnostics of one line at a time,
// so the compile need not keep them (options.keep_diagnostics). Call finish() with the result
// when the compile has returned.
class LineFollower : public vorn::LineObserver {
public:
    // The first script's place in the result's files: the two lists come before it.
    static constexpr std::size_t FirstScript = vorn::FirstScriptRecord;

    explicit LineFollower(SourceTexts& texts) : texts_(texts) {}
    void reached(const vorn::LineRecord& record, const unsigned char* code,
                 const vorn::CompileResult& result) override;
    void diagnosed(const vorn::Diagnostic& diagnostic) override { diagnostics_.push_back(diagnostic); }
    // Hands on the last line, enters the files opened after it, and leaves every file still
    // open, as a compile that ran to its end does; then hands on late, the diagnostics found
    // once the compile was over (unused-name), as standing on no line.
    void finish(const vorn::CompileResult& result, const std::vector<vorn::Diagnostic>& late = {});

protected:
    // A listed line, complete, and the diagnostics that stand on it; code is the code area,
    // which holds its bytes.
    virtual void line(const ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
                      const unsigned char* code, const vorn::CompileResult& result) = 0;
    // Diagnostics that stand on no line (the lists, a script that cannot be opened).
    virtual void unplaced(const std::vector<vorn::Diagnostic>& diagnostics) = 0;
    // The compile entered a file; it went back to file from left.
    virtual void entered(const vorn::CompileResult&, uint32_t) {}
    virtual void back(const vorn::CompileResult&, uint32_t, uint32_t) {}

    // The text of a listed line: the whole line, or the rest of it from where a piece listed
    // on its own starts.
    std::string listed_text(const vorn::CompileResult& result, const ListedLine& line);
    SourceTexts& texts_of() { return texts_; }
    // The whole line that a listed line stands on.
    const std::string& whole_line(const vorn::CompileResult& result, const ListedLine& line);

private:
    void hand_on(std::size_t code_end, const unsigned char* code, const vorn::CompileResult& result);
    bool opened_a_file(const vorn::CompileResult& result) const;
    void enter_files(const vorn::CompileResult& result);
    void back_to(const vorn::CompileResult& result, int target);

    SourceTexts& texts_;
    std::optional<ListedLine> pending_;
    // The diagnostics since the last line was handed on.
    std::vector<vorn::Diagnostic> diagnostics_;
    // The next of the result's files to enter.
    std::size_t next_file_ = FirstScript;
    // The files the compile is in, innermost last.
    std::vector<uint32_t> open_;
};

// The listing: file headers, listed lines with their offsets, bytes, text and diagnostics, a
// summary and the symbol table. Each line goes to stream once complete; without a stream the
// whole listing is kept for text().
class Listing : public LineFollower {
public:
    Listing(SourceTexts& texts, FILE* stream) : LineFollower(texts), stream_(stream) {}
    ~Listing() override {
        if (spill_)
            fclose(spill_);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    void diagnosed(const vorn::Diagnostic& diagnostic) override;
    // Ends the listing with the late diagnostics, the summary and the symbols.
    void finish(const vorn::CompileResult& result, const std::vector<vorn::Diagnostic>& late = {});
    const std::string& text() const { return out_; }

protected:
    void line(const ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
              const unsigned char* code, const vorn::CompileResult& result) override;
    void unplaced(const std::vector<vorn::Diagnostic>& diagnostics) override;
    void entered(const vorn::CompileResult& result, uint32_t file) override;
    void back(const vorn::CompileResult& result, uint32_t file, uint32_t left) override;

private:
    // Text held before it goes to the stream: the listing's, and the diagnostics' of the line
    // being listed (more of them go to spill_).
    static constexpr std::size_t HeldBytes = 1 << 16;
    void drain();
    void let_go_held();
    FILE* stream_;
    std::string out_;
    std::string held_;
    FILE* spill_ = nullptr;
};

// The statements at the code offsets asked for: for each, "FILE:LINE:TEXT", the way grep -n
// shows a line (the whole line's text), or nothing when no statement's code holds it. The
// script's errors go to errors as they come, one GNU-form line each.
class OffsetAnswers : public LineFollower {
public:
    OffsetAnswers(SourceTexts& texts, std::vector<uint64_t> offsets, FILE* errors)
        : LineFollower(texts), offsets_(std::move(offsets)), answers_(offsets_.size()),
          errors_(errors) {}
    const std::vector<std::optional<std::string>>& answers() const { return answers_; }
    void diagnosed(const vorn::Diagnostic& diagnostic) override;

protected:
    void line(const ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
              const unsigned char* code, const vorn::CompileResult& result) override;
    void unplaced(const std::vector<vorn::Diagnostic>& diagnostics) override;

private:
    std::vector<uint64_t> offsets_;
    std::vector<std::optional<std::string>> answers_;
    FILE* errors_;
};

// An offset or a code offset as the listing shows it: four hex digits (more when needed).
std::string hex4(uint32_t value);

// One row of the listing: a line number (or none), an offset (or none), up to 8 bytes and a
// text.
void add_row(std::string& out, const std::string& number, std::optional<uint32_t> offset,
             const unsigned char* bytes, std::size_t count, const std::string& text);

// The compiled file around the code: its header field by field and both entry tables slot by
// slot, each row with its file offset and bytes, so that with the code's rows every byte of
// the file is on exactly one row.
void add_file_layout(std::string& out, const vorn::CompileResult& result);

// The symbol map alone, one symbol a line: kind, name, value, file, line, separated by tabs.
std::string map_file(const vorn::CompileResult& result);

}  // namespace vorn_list
