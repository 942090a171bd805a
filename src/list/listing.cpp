#include "listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include <vorn/gnu_form.h>

namespace vorn_list {

namespace {

// Bytes shown on one row of the listing; a line with more goes on in rows of its own.
constexpr std::size_t BytesPerRow = 8;
// Width of the bytes column: "XX " per byte, without the last blank.
constexpr std::size_t BytesWidth = BytesPerRow * 3 - 1;




}  // namespace

std::string hex4(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%04X", value);
    return text;
}

namespace {

void add_diagnostic(std::string& out, const vorn::Diagnostic& d) {
    out += vorn::gnu_diagnostic(d, "vorn-list", "compilation");
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

// One row: a line number (or none), an offset (or none), up to BytesPerRow bytes and a text.
void add_row(std::string& out, const std::string& number, std::optional<uint32_t> offset,
             const unsigned char* bytes, std::size_t count, const std::string& text) {
    std::string row(5 > number.size() ? 5 - number.size() : 0, ' ');
    row += number;
    row += " ";
    row += offset ? hex4(*offset) : "    ";
    row += "  ";
    std::string hex;
    for (std::size_t i = 0; i < count; ++i) {
        char pair[4];
        snprintf(pair, sizeof pair, i == 0 ? "%02X" : " %02X", bytes[i]);
        hex += pair;
    }
    hex.resize(BytesWidth, ' ');
    row += hex;
    row += "  ";
    row += text;
    // The padding is ours: a row with nothing after it ends where its content does.
    if (text.empty())
        row.erase(row.find_last_not_of(' ') + 1);
    out += row;
    out += "\n";
}

namespace {

// A definition of a name that an earlier one of the same kind has: the first one counts.
std::vector<bool> repeated_names(const vorn::CompileResult& result) {
    std::vector<bool> repeated(result.definitions.size(), false);
    std::set<std::pair<vorn::DefinitionKind, std::string>> seen;
    for (std::size_t i = 0; i < result.definitions.size(); ++i) {
        const vorn::Definition& d = result.definitions[i];
        if (d.kind == vorn::DefinitionKind::Variable || d.kind == vorn::DefinitionKind::Constant)
            repeated[i] = !seen.insert({d.kind, d.name}).second;
    }
    return repeated;
}

const char* kind_word(vorn::DefinitionKind kind) {
    switch (kind) {
    case vorn::DefinitionKind::EventLabel:
        return "event";
    case vorn::DefinitionKind::Place:
        return "place";
    case vorn::DefinitionKind::Variable:
        return "defvar";
    case vorn::DefinitionKind::Constant:
        return "defnum";
    }
    return "";
}

// The symbols a script defined, in the order of the map: event labels, places, variables,
// constants, each kind in the order defined. The predefined variables are left out.
std::vector<std::size_t> symbols_in_order(const vorn::CompileResult& result) {
    std::vector<std::size_t> order;
    for (vorn::DefinitionKind kind : {vorn::DefinitionKind::EventLabel, vorn::DefinitionKind::Place,
                                      vorn::DefinitionKind::Variable, vorn::DefinitionKind::Constant})
        for (std::size_t i = 0; i < result.definitions.size(); ++i)
            if (result.definitions[i].kind == kind && !result.definitions[i].where.file.empty())
                order.push_back(i);
    return order;
}

// The value a symbol stands for in the code: a constant keeps its low 16 bits.
uint32_t code_value(const vorn::Definition& d) {
    if (d.kind == vorn::DefinitionKind::Constant)
        return static_cast<uint16_t>(d.value);
    return static_cast<uint32_t>(d.value);
}

// The symbols' position column: an event's list position (its line in events.lst from 0, the
// entry-table slot its label sets), a place's number (its slot), a variable's number or a
// constant's value, right-aligned under the header.
constexpr std::size_t PositionWidth = 8;

void add_symbols(std::string& out, const vorn::CompileResult& result) {
    std::vector<std::size_t> order = symbols_in_order(result);
    out += "=== symbols\n";
    if (order.empty()) {
        out += "(none)\n";
        return;
    }
    std::vector<bool> repeated = repeated_names(result);
    std::size_t name_width = 4;
    for (std::size_t i : order)
        name_width = std::max(name_width, result.definitions[i].name.size());
    auto row = [&](const std::string& kind, const std::string& name, const std::string& position,
                   const std::string& offset, const std::string& where) {
        std::string text = kind;
        text.resize(8, ' ');
        text += name;
        text.resize(8 + name_width + 2, ' ');
        text += std::string(position.size() < PositionWidth ? PositionWidth - position.size() : 0, ' ') +
                position + "  ";
        text += offset;
        text.resize(text.size() + 8 - std::min<std::size_t>(offset.size(), 8), ' ');
        text += where;
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + "\n";
    };
    row("kind", "name", "position", "offset", "defined at");
    for (std::size_t i : order) {
        const vorn::Definition& d = result.definitions[i];
        std::string position;
        std::string offset;
        switch (d.kind) {
        case vorn::DefinitionKind::EventLabel:
        case vorn::DefinitionKind::Place:
            position = std::to_string(d.index);
            offset = hex4(static_cast<uint32_t>(d.value));
            break;
        case vorn::DefinitionKind::Variable:
        case vorn::DefinitionKind::Constant:
            position = std::to_string(code_value(d));
            break;
        }
        std::string where = d.where.file + ":" + std::to_string(d.where.line);
        if (d.kind == vorn::DefinitionKind::Constant && code_value(d) != static_cast<uint32_t>(d.value))
            where += " (written " + std::to_string(d.value) + ")";
        if (repeated[i])
            where += " (not used: defined before)";
        row(kind_word(d.kind), d.name, position, offset, where);
    }
}

// A map field: a backslash, a tab and a line feed written as \\, \t and \n.
std::string map_field(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

}  // namespace

// Bytes read from a script file at a time, when its lines are read again.
constexpr std::size_t TextBlockSize = 16384;
// The longest line kept once listed; a longer one listed again is read again.
constexpr std::size_t KeptLineBytes = 65536;

struct SourceTexts::Cursor {
    std::unique_ptr<vorn::InputFile> input;
    std::unique_ptr<unsigned char[]> block = std::make_unique<unsigned char[]>(TextBlockSize);
    std::size_t pos = 0;
    std::size_t end = 0;
    bool at_end = false;
    // The number of the last line read (0: none read yet), and its text when it was asked for
    // whole (kept: the same line may be asked for again).
    uint32_t number = 0;
    bool kept = false;
    std::string text;

    // Reads the next line, handing sink its bytes from byte from on, in pieces as they are
    // read, without its line end: a line is never kept whole here, however long. False once
    // the file has ended.
    template <typename Sink>
    bool next_line(std::size_t from, Sink&& sink) {
        bool any = false;
        // Bytes of the line so far, and a carriage return held back until what follows it
        // shows whether it ends the line.
        std::size_t index = 0;
        bool held_return = false;
        auto emit = [&](const unsigned char* bytes, std::size_t count) {
            if (index + count > from) {
                std::size_t skip = from > index ? from - index : 0;
                sink(std::string_view(reinterpret_cast<const char*>(bytes) + skip, count - skip));
            }
            index += count;
        };
        static const unsigned char Return = '\r';
        for (;;) {
            if (pos == end && !refill()) {
                if (held_return)
                    emit(&Return, 1);
                return any;
            }
            any = true;
            const unsigned char* start = block.get() + pos;
            const void* newline = memchr(start, '\n', end - pos);
            std::size_t span = newline ? static_cast<std::size_t>(
                                             static_cast<const unsigned char*>(newline) - start)
                                       : end - pos;
            if (held_return && !(newline && span == 0))
                emit(&Return, 1);
            held_return = false;
            std::size_t count = span;
            if (count > 0 && start[count - 1] == '\r') {
                --count;
                held_return = !newline;
            }
            emit(start, count);
            pos += span;
            if (newline) {
                ++pos;
                return true;
            }
        }
    }

    // The compiler reads nothing after the end-of-file mark, nor after a read error.
    bool refill() {
        if (at_end || !input)
            return false;
        long got = input->read(block.get(), TextBlockSize);
        if (got <= 0) {
            at_end = true;
            return false;
        }
        pos = 0;
        end = static_cast<std::size_t>(got);
        if (const void* mark = memchr(block.get(), vorn::EndOfFileMark, end)) {
            end = static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - block.get());
            at_end = true;
        }
        return end > 0;
    }
};

SourceTexts::SourceTexts(vorn::SourceProvider& provider) : provider_(provider) {}
SourceTexts::~SourceTexts() = default;

void SourceTexts::close(uint32_t file) { cursors_.erase(file); }

SourceTexts::Cursor* SourceTexts::cursor_before(uint32_t file, const std::string& path, uint32_t line) {
    std::unique_ptr<Cursor>& cursor = cursors_[file];
    if (!cursor) {
        cursor = std::make_unique<Cursor>();
        cursor->input = provider_.open(path);
    }
    while (cursor->number + 1 < line) {
        cursor->kept = false;
        if (!cursor->next_line(SIZE_MAX, [](std::string_view) {})) {
            cursor->number = UINT32_MAX;
            return nullptr;
        }
        ++cursor->number;
    }
    return cursor.get();
}

const std::string& SourceTexts::line(uint32_t file, const std::string& path, uint32_t line) {
    static const std::string none;
    Cursor* cursor = cursor_before(file, path, line);
    if (!cursor || cursor->number > line || (cursor->number == line && !cursor->kept))
        return none;
    if (cursor->number + 1 == line) {
        cursor->text.clear();
        bool read = cursor->next_line(0, [&](std::string_view piece) { cursor->text.append(piece); });
        cursor->number = read ? line : UINT32_MAX;
        cursor->kept = read;
        if (!read)
            return none;
    }
    return cursor->text;
}

void SourceTexts::each_piece(uint32_t file, const std::string& path, uint32_t line, std::size_t from,
                             const std::function<void(std::string_view)>& sink) {
    Cursor* cursor = cursor_before(file, path, line);
    // A line listed again from a later column (after the lines of a file it includes) that
    // was too long to keep: its file is read again up to it.
    if (cursor && cursor->number == line && !cursor->kept) {
        cursors_.erase(file);
        cursor = cursor_before(file, path, line);
    }
    if (!cursor || cursor->number > line)
        return;
    if (cursor->number == line) {
        if (from < cursor->text.size())
            sink(std::string_view(cursor->text).substr(from));
        return;
    }
    // The line is kept as long as it is short, for such a second listing.
    cursor->kept = true;
    cursor->text.clear();
    std::size_t index = 0;
    bool read = cursor->next_line(0, [&](std::string_view piece) {
        if (cursor->kept && cursor->text.size() + piece.size() <= KeptLineBytes)
            cursor->text.append(piece);
        else
            cursor->kept = false;
        if (index + piece.size() > from)
            sink(piece.substr(from > index ? from - index : 0));
        index += piece.size();
    });
    if (!cursor->kept)
        cursor->text.clear();
    cursor->number = read ? line : UINT32_MAX;
}

void LineFollower::reached(const vorn::LineRecord& record, const unsigned char* code,
                           const vorn::CompileResult& result) {
    bool goes_on = pending_ && pending_->file == record.file && pending_->line == record.line &&
                   record.column > 1 && !opened_a_file(result);
    if (goes_on)
        return;
    hand_on(record.code_begin, code, result);
    enter_files(result);
    back_to(result, static_cast<int>(record.file));
    pending_ = ListedLine{record.file, record.line, record.column, record.code_begin,
                          record.code_begin};
}

void LineFollower::finish(const vorn::CompileResult& result, const std::vector<vorn::Diagnostic>& late) {
    hand_on(result.code.size(), result.code.data(), result);
    enter_files(result);
    if (!result.fatal)
        back_to(result, -1);
    if (!late.empty())
        unplaced(late);
}

// The pending line's code ends where the next piece's begins: an include line's own code is
// none, as the included file's code follows on; the piece a fatal end cut short owns what it
// emitted up to the end of the code. Its diagnostics are those recorded since the last line.
void LineFollower::hand_on(std::size_t code_end, const unsigned char* code,
                           const vorn::CompileResult& result) {
    if (pending_) {
        pending_->code_end = static_cast<uint16_t>(std::max<std::size_t>(pending_->code_begin, code_end));
        line(*pending_, diagnostics_, code, result);
        pending_.reset();
    } else if (!diagnostics_.empty()) {
        unplaced(diagnostics_);
    }
    diagnostics_.clear();
}

// Whether the compile opened a file since the last piece.
bool LineFollower::opened_a_file(const vorn::CompileResult& result) const {
    for (std::size_t k = next_file_; k < result.files.size(); ++k)
        if (result.files[k].opened)
            return true;
    return false;
}

void LineFollower::enter_files(const vorn::CompileResult& result) {
    for (; next_file_ < result.files.size(); ++next_file_) {
        const vorn::SourceRecord& record = result.files[next_file_];
        if (!record.opened)
            continue;
        back_to(result, record.includer);
        open_.push_back(static_cast<uint32_t>(next_file_));
        entered(result, static_cast<uint32_t>(next_file_));
    }
}

// Leaves files until target is the innermost one.
void LineFollower::back_to(const vorn::CompileResult& result, int target) {
    while (!open_.empty() && static_cast<int>(open_.back()) != target) {
        uint32_t left = open_.back();
        open_.pop_back();
        texts_.close(left);
        if (!open_.empty())
            back(result, open_.back(), left);
    }
}

const std::string& LineFollower::whole_line(const vorn::CompileResult& result,
                                            const ListedLine& line) {
    return texts_.line(line.file, result.files[line.file].path, line.line);
}

std::string LineFollower::listed_text(const vorn::CompileResult& result, const ListedLine& line) {
    const std::string& text = whole_line(result, line);
    std::size_t from = line.column - 1;
    return from < text.size() ? text.substr(from) : from == 0 ? text : std::string();
}

void Listing::line(const ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
                   const unsigned char* code, const vorn::CompileResult& result) {
    std::string number = std::to_string(line.line);
    if (line.column > 1)
        number += ":" + std::to_string(line.column);
    // The text goes out as it is read again, after the first row's columns: a line of any
    // length costs a block of it. The padding before it is ours, so a row with no text ends
    // where its content does.
    std::size_t count = line.code_end - line.code_begin;
    const unsigned char* bytes = code + line.code_begin;
    add_row(out_, number, count == 0 ? std::nullopt : std::optional<uint32_t>(line.code_begin), bytes,
            std::min(BytesPerRow, count), std::string(1, '.'));
    out_.resize(out_.size() - 2);
    std::size_t row_start = out_.size();
    bool any = false;
    texts_of().each_piece(line.file, result.files[line.file].path, line.line, line.column - 1,
                          [&](std::string_view piece) {
                              any = any || !piece.empty();
                              out_.append(piece);
                              if (out_.size() >= HeldBytes)
                                  drain();
                          });
    if (!any && out_.size() >= row_start)
        out_.erase(out_.find_last_not_of(' ') + 1);
    out_ += "\n";
    for (std::size_t done = BytesPerRow; done < count; done += BytesPerRow)
        add_row(out_, std::string(), line.code_begin + done, bytes + done,
                std::min(BytesPerRow, count - done), std::string());
    unplaced(diagnostics);
}

// The diagnostics of a line follow it, so those of the line being listed are held until it is
// complete, as their text: past HeldBytes, in a temporary file, so that a line of countless
// pieces and errors costs no more memory than a short one.
void Listing::diagnosed(const vorn::Diagnostic& diagnostic) {
    add_diagnostic(held_, diagnostic);
    if (held_.size() < HeldBytes)
        return;
    if (!spill_)
        spill_ = tmpfile();
    if (spill_ && fwrite(held_.data(), 1, held_.size(), spill_) == held_.size())
        held_.clear();
}

void Listing::let_go_held() {
    if (spill_) {
        rewind(spill_);
        char block[1 << 16];
        std::size_t got;
        while ((got = fread(block, 1, sizeof block, spill_)) > 0) {
            out_.append(block, got);
            drain();
        }
        fclose(spill_);
        spill_ = nullptr;
    }
    out_ += held_;
    held_.clear();
}

// Those of no line stand where the compile found them.
void Listing::unplaced(const std::vector<vorn::Diagnostic>& diagnostics) {
    let_go_held();
    for (const vorn::Diagnostic& d : diagnostics)
        add_diagnostic(out_, d);
    drain();
}

void Listing::entered(const vorn::CompileResult& result, uint32_t file) {
    let_go_held();
    const vorn::SourceRecord& record = result.files[file];
    out_ += "=== " + vorn::escaped_text(record.path);
    if (record.includer >= 0)
        out_ += " (included from " + vorn::escaped_text(result.files[static_cast<uint32_t>(record.includer)].path) +
                ":" + std::to_string(record.include_line) + ")";
    out_ += "\n";
    drain();
}

void Listing::back(const vorn::CompileResult& result, uint32_t file, uint32_t left) {
    let_go_held();
    out_ += "=== " + vorn::escaped_text(result.files[file].path) + " (back from " +
            vorn::escaped_text(result.files[left].path) + ")\n";
    drain();
}

void Listing::finish(const vorn::CompileResult& result, const std::vector<vorn::Diagnostic>& late) {
    LineFollower::finish(result, late);
    let_go_held();
    // The error that ends a run is not counted, as vorn does not count it.
    out_ += "=== " + plural(result.code.size(), "byte", "bytes") + " of code, ";
    if (result.fatal)
        out_ += (result.error_count > 0 ? plural(result.error_count, "error", "errors") + ", then "
                                        : std::string()) +
                "stopped by an error, status " + std::to_string(result.status);
    else if (result.error_count > 0)
        out_ += plural(result.error_count, "error", "errors") + ", status " +
                std::to_string(result.status);
    else
        out_ += "no errors";
    out_ += "\n";
    if (!result.compiled.empty())
        add_file_layout(out_, result);
    add_symbols(out_, result);
    drain();
}

void Listing::drain() {
    if (!stream_)
        return;
    fwrite(out_.data(), 1, out_.size(), stream_);
    out_.clear();
}

// Reported as they come, on a line or not, so that none is held.
void OffsetAnswers::diagnosed(const vorn::Diagnostic& diagnostic) { unplaced({diagnostic}); }

void OffsetAnswers::line(const ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
                         const unsigned char*, const vorn::CompileResult& result) {
    unplaced(diagnostics);  // reported as they come, on a line or not
    for (std::size_t i = 0; i < offsets_.size(); ++i)
        if (!answers_[i] && offsets_[i] >= line.code_begin && offsets_[i] < line.code_end)
            answers_[i] = vorn::escaped_text(result.files[line.file].path) + ":" + std::to_string(line.line) + ":" +
                          whole_line(result, line);
}

// A diagnostic as --at reports it: "FILE:LINE:COLUMN: SEVERITY: TEXT" (for a warning its
// option after it), without a note.
void OffsetAnswers::unplaced(const std::vector<vorn::Diagnostic>& diagnostics) {
    for (const vorn::Diagnostic& d : diagnostics) {
        std::string where = vorn::location_text(d.where, "vorn-list");
        fprintf(errors_, "%s: %s: %s%s\n", where.c_str(), vorn::severity_name(d.severity),
                vorn::escaped_text(d.text).c_str(), vorn::warning_option_text(d).c_str());
    }
}

std::string map_file(const vorn::CompileResult& result) {
    std::vector<bool> repeated = repeated_names(result);
    std::string out;
    for (std::size_t i : symbols_in_order(result)) {
        if (repeated[i])
            continue;
        const vorn::Definition& d = result.definitions[i];
        out += std::string(kind_word(d.kind)) + "\t" + d.name + "\t" +
               std::to_string(code_value(d)) + "\t" + map_field(d.where.file) + "\t" +
               std::to_string(d.where.line) + "\n";
    }
    // Where an argument was written as a variable's or a constant's name: the code offset of
    // the argument and the name (uses are recorded only when the compile was asked to).
    for (const vorn::Use& use : result.uses) {
        bool variable = use.kind == vorn::UseKind::Variable;
        if ((!variable && use.kind != vorn::UseKind::Constant) || use.target < 0 ||
            static_cast<std::size_t>(use.target) >= result.definitions.size())
            continue;
        const vorn::Definition& d = result.definitions[static_cast<std::size_t>(use.target)];
        if (d.where.file.empty())
            continue;  // Self and Time: a listing names them anyway
        out += std::string(variable ? "use-defvar" : "use-defnum") + "\t" + d.name + "\t" +
               std::to_string(use.code_offset) + "\t" + map_field(use.where.file) + "\t" +
               std::to_string(use.where.line) + "\n";
    }
    return out;
}

}  // namespace vorn_list
