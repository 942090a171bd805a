#include <vorn/line_text.h>

#include <algorithm>

#include "char_class.h"
#include "line_reader.h"
#include "number.h"

namespace vorn {

namespace {

// What the byte at which cleaning stopped says about the rest of the piece. Cleaning stops
// outside strings only, save at a NUL, so a ';' or '/' there starts a comment.
PieceEnd end_of(std::string_view piece, std::size_t stop) {
    if (stop >= piece.size())
        return PieceEnd::Text;
    switch (piece[stop]) {
    case ';':
    case '/':
        return PieceEnd::Comment;
    case '\r':
    case '\n':
        return PieceEnd::LineEnd;
    default:
        return PieceEnd::Stop;
    }
}

// The strings of a piece: the cleaner marks their quotes, which alternate, in its cleaned
// text. A raw byte of the same value as a mark is no quote: the raw byte tells them apart.
void strings_of(std::string_view raw, const CleanedLine& clean, std::vector<LineString>& strings) {
    strings.clear();
    const std::string& text = clean.text;
    auto size = static_cast<uint32_t>(text.size());
    auto quote = [&](uint32_t i, unsigned char mark) {
        return static_cast<unsigned char>(text[i]) == mark && raw[clean.raw_offsets[i]] == '"';
    };
    for (uint32_t i = 0; i < size; ++i) {
        if (!quote(i, CleanOpenQuote))
            continue;
        LineString string{i, size, size, false};
        for (++i; i < size; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (quote(i, CleanCloseQuote)) {
                string.close = i;
                string.closed = true;
                break;
            }
            if ((c == ',' || c == ')') && string.cut == size)
                string.cut = i;
        }
        if (string.cut > string.close)
            string.cut = string.close;
        strings.push_back(string);
    }
}

// The first word of text, up to white space or a NUL.
std::size_t word_end(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] != '\0' && !is_blank(static_cast<unsigned char>(text[at])))
        ++at;
    return at;
}

}  // namespace

TextRange LinePiece::raw(TextRange cleaned) const {
    TextRange at = raw_range(clean, cleaned);
    return TextRange{at.begin + static_cast<uint32_t>(column), at.end + static_cast<uint32_t>(column)};
}

bool LinePiece::slash_comment(std::size_t at) const {
    return comment() && at == code_end() && slash;
}

const LineString* LinePiece::string_at(uint32_t at) const {
    for (const LineString& string : strings)
        if (string.holds(at))
            return &string;
    return nullptr;
}

void read_piece(std::string_view line, std::size_t column, LinePiece& piece, bool parse) {
    piece.column = std::min(column, line.size());
    std::string_view raw = line.substr(piece.column, MaxPieceLength);
    piece.size = raw.size();
    clean_line(raw, piece.clean);
    if (parse)
        piece.parts = parse_cleaned(piece.clean.text);
    piece.end = end_of(raw, piece.clean.raw_end);
    piece.slash = piece.comment() && raw[piece.clean.raw_end] == '/';
    strings_of(raw, piece.clean, piece.strings);
}

LinePiece read_piece(std::string_view line, std::size_t column) {
    LinePiece piece;
    read_piece(line, column, piece);
    return piece;
}

LinePiece read_piece_at(std::string_view line, std::size_t at) {
    std::size_t first = std::min(at, line.size());
    std::size_t k = first / MaxPieceLength;
    if (k > 0 && first == k * MaxPieceLength)
        --k;
    return read_piece(line, k * MaxPieceLength);
}

bool in_string(std::string_view line, std::size_t at) {
    if (at >= line.size())
        return false;
    LinePiece piece = read_piece_at(line, at);
    const std::vector<uint32_t>& offsets = piece.clean.raw_offsets;
    auto index = std::lower_bound(offsets.begin(), offsets.end(), static_cast<uint32_t>(at - piece.column));
    return piece.string_at(static_cast<uint32_t>(index - offsets.begin())) != nullptr;
}

std::vector<LinePiece> read_line(std::string_view line) {
    std::vector<LinePiece> pieces;
    std::size_t column = 0;
    do {
        pieces.push_back(read_piece(line, column));
        column += MaxPieceLength;
    } while (column < line.size());
    return pieces;
}

bool is_line_blank(unsigned char c) { return is_blank(c); }

TextRange trim_range(std::string_view text, TextRange range, bool layout_only) {
    auto blank = [&](uint32_t at) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        return layout_only ? c == ' ' || c == '\t' : is_blank(c);
    };
    range.end = std::min<uint32_t>(range.end, static_cast<uint32_t>(text.size()));
    while (range.begin < range.end && blank(range.begin))
        ++range.begin;
    while (range.end > range.begin && blank(range.end - 1))
        --range.end;
    return range;
}

std::size_t meant_word_length(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && text[at] != '\0' && !is_blank(static_cast<unsigned char>(text[at])) &&
           text[at] != ';' && text[at] != '\\' && text[at] != '\r' && text[at] != '\n')
        ++at;
    return at;
}

std::optional<LeadingNumber> leading_number(std::string_view text) {
    const char* at = text.data();
    LeadingNumber number;
    switch (read_number(&at, text.data() + text.size(), &number.value)) {
    case NumberRead::OutOfRange:
        return std::nullopt;
    case NumberRead::Ok:
        number.end = static_cast<std::size_t>(at - text.data());
        break;
    case NumberRead::None:
        break;
    }
    return number;
}

bool word_spellable(std::string_view word) {
    if (word.empty())
        return false;
    for (char c : word) {
        auto byte = static_cast<unsigned char>(c);
        if (is_blank(byte) || c == '\\' || c == '\0' || byte == EndOfFileMark)
            return false;
    }
    return true;
}

std::optional<char> name_breaking_byte(std::string_view name) {
    for (char c : name)
        if (is_blank(static_cast<unsigned char>(c)) || std::string_view("(),;\"/:").find(c) != std::string_view::npos)
            return c;
    return std::nullopt;
}

std::string spell_word(std::string_view word) {
    std::string out;
    out.reserve(word.size());
    for (char c : word) {
        // Outside strings a quote would open one, and ';' and '/' would start a comment.
        if (c == '"' || c == ';' || c == '/')
            out += '\\';
        out += c;
    }
    return out;
}

std::string spell_number(int64_t value) { return std::to_string(value); }

bool string_byte_writable(unsigned char byte) {
    return byte != '\n' && byte != '\0' && byte != EndOfFileMark && byte != '\\' && byte != ',' && byte != ')';
}

std::string spell_string(std::string_view value) {
    // Inside a string only the quote needs escaping; ';', '/' and blanks are kept as they are.
    std::string out = "\"";
    for (char c : value) {
        if (c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool is_list_entry(std::string_view line) { return !line.empty() && is_letter(static_cast<unsigned char>(line[0])); }

std::optional<ListEntryLine> read_list_entry(std::string_view line, int numbers) {
    // A NUL ends the name, and no number starts at it: what follows reads as missing.
    ListEntryLine entry;
    std::size_t at = word_end(line, 0);
    if (at >= NameSize)
        return std::nullopt;
    entry.name = line.substr(0, at);
    // Every list is read on every compile: the numbers are read in place.
    const char* end = line.data() + line.size();
    const char* s = line.data() + at;
    for (int i = 0; i < numbers && i < 2; ++i) {
        while (s < end && is_blank(static_cast<unsigned char>(*s)))
            ++s;
        NumberRead read = read_number(&s, end, &entry.numbers[i]);
        if (read == NumberRead::OutOfRange)
            return std::nullopt;
        if (read == NumberRead::None) {
            entry.numbers[i] = 0;
            break;  // a missing number: this one and every one after it read as 0
        }
    }
    return entry;
}

std::string_view list_entry_name(std::string_view line) {
    return is_list_entry(line) ? line.substr(0, word_end(line, 0)) : std::string_view();
}

std::string spell_command_entry(std::string_view name, unsigned code, std::size_t count) {
    if (!is_list_entry(name) || name.size() >= NameSize || count > static_cast<std::size_t>(MaxArguments))
        return {};
    for (char c : name)
        if (is_blank(static_cast<unsigned char>(c)) || static_cast<unsigned char>(c) < 0x20)
            return {};
    std::string entry = std::string(name) + " " + spell_number(code) + " " + spell_number(static_cast<int64_t>(count));
    if (entry.size() >= static_cast<std::size_t>(ListLineSize) - 1)
        return {};
    return entry;
}

}  // namespace vorn
