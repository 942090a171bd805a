#include "listing.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace vorn_list {

namespace {

// Bytes shown on one row of the listing; a line with more goes on in rows of its own.
constexpr std::size_t BytesPerRow = 8;
// Width of the bytes column: "XX " per byte, without the last blank.
constexpr std::size_t BytesWidth = BytesPerRow * 3 - 1;

std::string hex4(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%04X", value);
    return text;
}

void add_diagnostic(std::string& out, const vorn::Diagnostic& d) {
    std::string where = vorn::location_text(d.where, "vorn-list");
    out += where + ": " + vorn::severity_name(d.severity) + ": " + d.text + vorn::warning_option_text(d) + "\n";
    for (const vorn::DiagnosticNote& note : d.notes)
        out += vorn::location_text(note.where, "vorn-list") + ": note: " + note.text + "\n";
    if (d.fatal)
        out += where + ": note: compilation stopped here (status " + std::to_string(d.status) +
               ")\n";
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Where in the code each piece's own bytes are: an include line's range holds the code of the
// file it includes, which belongs to that file's lines; the piece a fatal end cut short owns
// what it emitted up to the end of the code.
std::vector<std::pair<uint16_t, uint16_t>> own_ranges(const vorn::CompileResult& result) {
    const std::vector<vorn::LineRecord>& pieces = result.lines;
    std::vector<std::pair<uint16_t, uint16_t>> ranges(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        uint16_t begin = pieces[i].code_begin;
        uint16_t end = pieces[i].code_end;
        if (i + 1 < pieces.size())
            end = std::min(end, pieces[i + 1].code_begin);
        else if (result.fatal)
            end = std::max<uint16_t>(end, static_cast<uint16_t>(result.code.size()));
        ranges[i] = {begin, std::max(begin, end)};
    }
    return ranges;
}

// The positions in the pieces where the compile entered a file.
std::set<uint32_t> file_starts(const vorn::CompileResult& result) {
    std::set<uint32_t> starts;
    for (std::size_t k = vorn::FirstScriptRecord; k < result.files.size(); ++k)
        if (result.files[k].opened)
            starts.insert(result.files[k].first_piece);
    return starts;
}

// Keeps track of the files the listing is in, and writes a header each time it enters or
// leaves one.
class FileHeaders {
public:
    FileHeaders(const vorn::CompileResult& result, std::string& out) : result_(result), out_(out) {}

    // Enters every file the compile entered before the piece at position, then goes back
    // to the file of that piece (none: to the end of the top script).
    void before_piece(uint32_t position, std::optional<uint32_t> file) {
        for (; next_ < result_.files.size() && result_.files[next_].first_piece <= position; ++next_)
            if (result_.files[next_].opened)
                enter(static_cast<uint32_t>(next_));
        if (file)
            back_to(static_cast<int>(*file));
    }

    // Leaves every file still open, as a compile that ran to its end does.
    void leave_all() { back_to(-1); }

private:
    const std::string& path(uint32_t file) const { return result_.files[file].path; }

    void enter(uint32_t file) {
        const vorn::SourceRecord& record = result_.files[file];
        back_to(record.includer);
        out_ += "=== " + path(file);
        if (record.includer >= 0)
            out_ += " (included from " + path(static_cast<uint32_t>(record.includer)) + ":" +
                    std::to_string(record.include_line) + ")";
        out_ += "\n";
        open_.push_back(file);
    }

    // Leaves files until target is the innermost one.
    void back_to(int target) {
        while (!open_.empty() && static_cast<int>(open_.back()) != target) {
            uint32_t left = open_.back();
            open_.pop_back();
            if (!open_.empty())
                out_ += "=== " + path(open_.back()) + " (back from " + path(left) + ")\n";
        }
    }

    const vorn::CompileResult& result_;
    std::string& out_;
    std::size_t next_ = vorn::FirstScriptRecord;
    std::vector<uint32_t> open_;
};

// The text of a listed line: the whole line, or the rest of it from where a piece listed on
// its own starts.
std::string line_text(const vorn::CompileResult& result, SourceTexts& texts, const ListedLine& line) {
    const std::string& text = texts.line(result.files[line.file].path, line.line);
    std::size_t from = line.column - 1;
    return from < text.size() ? text.substr(from) : from == 0 ? text : std::string();
}

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

void add_listed_line(std::string& out, const vorn::CompileResult& result, SourceTexts& texts,
                     const ListedLine& line) {
    std::string number = std::to_string(line.line);
    if (line.column > 1)
        number += ":" + std::to_string(line.column);
    std::string text = line_text(result, texts, line);
    std::size_t count = line.code_end - line.code_begin;
    const unsigned char* code = result.code.data() + line.code_begin;
    if (count == 0) {
        add_row(out, number, std::nullopt, nullptr, 0, text);
    } else {
        for (std::size_t done = 0; done < count; done += BytesPerRow) {
            std::size_t row = std::min(BytesPerRow, count - done);
            add_row(out, done == 0 ? number : std::string(), line.code_begin + done, code + done,
                    row, done == 0 ? text : std::string());
        }
    }
    for (std::size_t d : line.diagnostics)
        add_diagnostic(out, result.diagnostics[d]);
}

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
    auto row = [&](const std::string& kind, const std::string& name, const std::string& number,
                   const std::string& offset, const std::string& where) {
        std::string text = kind;
        text.resize(8, ' ');
        text += name;
        text.resize(8 + name_width + 2, ' ');
        text += std::string(number.size() < 6 ? 6 - number.size() : 0, ' ') + number + "  ";
        text += offset;
        text.resize(text.size() + 8 - std::min<std::size_t>(offset.size(), 8), ' ');
        text += where;
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + "\n";
    };
    row("kind", "name", "number", "offset", "defined at");
    for (std::size_t i : order) {
        const vorn::Definition& d = result.definitions[i];
        std::string number;
        std::string offset;
        switch (d.kind) {
        case vorn::DefinitionKind::EventLabel:
        case vorn::DefinitionKind::Place:
            number = std::to_string(d.index);
            offset = hex4(static_cast<uint32_t>(d.value));
            break;
        case vorn::DefinitionKind::Variable:
        case vorn::DefinitionKind::Constant:
            number = std::to_string(code_value(d));
            break;
        }
        std::string where = d.where.file + ":" + std::to_string(d.where.line);
        if (d.kind == vorn::DefinitionKind::Constant && code_value(d) != static_cast<uint32_t>(d.value))
            where += " (written " + std::to_string(d.value) + ")";
        if (repeated[i])
            where += " (not used: defined before)";
        row(kind_word(d.kind), d.name, number, offset, where);
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

const std::string& SourceTexts::line(const std::string& path, uint32_t line) {
    auto found = files_.find(path);
    if (found == files_.end()) {
        std::vector<std::string> lines;
        // The listing shows every line the compile read, so a file is read whole, however large.
        std::string text = vorn::read_whole_file(provider_, path, SIZE_MAX).value_or("");
        text.erase(std::min(text.find(static_cast<char>(vorn::EndOfFileMark)), text.size()));
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            std::size_t kept = end;
            if (kept < text.size() && kept > start && text[kept - 1] == '\r')
                --kept;
            lines.push_back(text.substr(start, kept - start));
            start = end + 1;
        }
        found = files_.emplace(path, std::move(lines)).first;
    }
    static const std::string none;
    const std::vector<std::string>& lines = found->second;
    return line >= 1 && line <= lines.size() ? lines[line - 1] : none;
}

std::vector<ListedLine> listed_lines(const vorn::CompileResult& result) {
    const std::vector<vorn::LineRecord>& pieces = result.lines;
    std::vector<std::pair<uint16_t, uint16_t>> ranges = own_ranges(result);
    std::set<uint32_t> starts = file_starts(result);
    std::vector<ListedLine> lines;
    // The listed line of each piece.
    std::vector<std::size_t> line_of(pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const vorn::LineRecord& piece = pieces[i];
        bool goes_on = i > 0 && pieces[i - 1].file == piece.file && pieces[i - 1].line == piece.line &&
                       piece.column > 1 && starts.count(static_cast<uint32_t>(i)) == 0;
        if (goes_on) {
            lines.back().code_end = ranges[i].second;
        } else {
            lines.push_back(ListedLine{static_cast<uint32_t>(i), piece.file, piece.line,
                                       piece.column, ranges[i].first, ranges[i].second, {}});
        }
        line_of[i] = lines.size() - 1;
    }
    for (std::size_t d = 0; d < result.diagnostics.size(); ++d) {
        int32_t piece = result.diagnostics[d].piece;
        if (piece >= 0 && static_cast<std::size_t>(piece) < pieces.size())
            lines[line_of[static_cast<std::size_t>(piece)]].diagnostics.push_back(d);
    }
    return lines;
}

std::string listing(const vorn::CompileResult& result, SourceTexts& texts) {
    std::string out;
    // Diagnostics that belong to no line (the lists, a script that cannot be opened) first.
    for (const vorn::Diagnostic& d : result.diagnostics)
        if (d.piece < 0)
            add_diagnostic(out, d);

    FileHeaders headers(result, out);
    for (const ListedLine& line : listed_lines(result)) {
        headers.before_piece(line.first_piece, line.file);
        add_listed_line(out, result, texts, line);
    }
    headers.before_piece(static_cast<uint32_t>(result.lines.size()), std::nullopt);
    if (!result.fatal)
        headers.leave_all();

    // The error that ends a run is not counted, as vorn does not count it.
    out += "=== " + plural(result.code.size(), "byte", "bytes") + " of code, ";
    if (result.fatal)
        out += (result.error_count > 0 ? plural(result.error_count, "error", "errors") + ", then "
                                       : std::string()) +
               "stopped by an error, status " + std::to_string(result.status);
    else if (result.error_count > 0)
        out += plural(result.error_count, "error", "errors") + ", status " +
               std::to_string(result.status);
    else if (result.status != vorn::StatusClean)
        out += "warnings counted as errors, status " + std::to_string(result.status);
    else
        out += "no errors";
    std::size_t warnings = 0;
    for (const vorn::Diagnostic& d : result.diagnostics)
        warnings += d.severity == vorn::Severity::Warning ? 1 : 0;
    if (warnings > 0)
        out += ", " + plural(warnings, "warning", "warnings");
    out += "\n";
    add_symbols(out, result);
    return out;
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
    return out;
}

std::optional<std::size_t> line_at(const std::vector<ListedLine>& lines, uint32_t offset) {
    // The lines' code follows on in the order listed, so the first line whose code ends after
    // offset is the only one that can hold it.
    auto found = std::partition_point(lines.begin(), lines.end(),
                                      [offset](const ListedLine& line) { return line.code_end <= offset; });
    if (found == lines.end() || found->code_begin > offset)
        return std::nullopt;
    return static_cast<std::size_t>(found - lines.begin());
}

std::string line_answer(const vorn::CompileResult& result, SourceTexts& texts,
                        const ListedLine& line) {
    const std::string& path = result.files[line.file].path;
    return path + ":" + std::to_string(line.line) + ":" + texts.line(path, line.line);
}

}  // namespace vorn_list
