#include <vorn/grammar.h>

#include <cstring>
#include <string>

#include <vorn/language.h>

#include "../common/char_class.h"
#include "../common/number.h"
#include "line_grammar.h"
#include "../common/line_reader.h"

namespace vorn {

namespace {

// A cleaned line being parsed: its bytes and its length.
struct LineText {
    const char* text;
    uint32_t size;

    unsigned char at(uint32_t i) const { return static_cast<unsigned char>(text[i]); }
};

uint32_t skip_blanks(const LineText& line, uint32_t i) {
    while (i < line.size && is_blank(line.at(i)))
        ++i;
    return i;
}

uint32_t skip_word(const LineText& line, uint32_t i) {
    while (i < line.size && !is_blank(line.at(i)))
        ++i;
    return i;
}

// The end of the leading signed decimal number at i (an optional sign and at least one
// digit), or i where there is none: what read_number takes.
uint32_t number_end(const LineText& line, uint32_t i) {
    uint32_t j = i;
    if (j < line.size && (line.at(j) == '-' || line.at(j) == '+'))
        ++j;
    if (j == line.size || !is_digit(line.at(j)))
        return i;
    while (j < line.size && is_digit(line.at(j)))
        ++j;
    return j;
}

// The first word as the compiler keeps it: at most MaxFirstWordLength bytes.
uint32_t kept_length(uint32_t length) {
    return length <= MaxFirstWordLength ? length : static_cast<uint32_t>(MaxFirstWordLength);
}

bool word_is(const LineText& line, vorn::TextRange word, const char* directive) {
    std::size_t length = strlen(directive);
    return word.size() == length && memcmp(line.text + word.begin, directive, length) == 0;
}

vorn::ArgumentForm form_of(const LineText& line, vorn::TextRange value) {
    if (value.empty())
        return vorn::ArgumentForm::Name;
    unsigned char first = line.at(value.begin);
    if (first == '-' || is_digit(first))
        return vorn::ArgumentForm::Number;
    if (first == '&')
        return vorn::ArgumentForm::EventParam;
    if (first == CleanOpenQuote)
        return vorn::ArgumentForm::String;
    return vorn::ArgumentForm::Name;
}

// Splits the arguments after the '(' at paren: each ends at ',' or ')' (strings or not) or
// at the line's end, and the first ')' ends them all.
void split_arguments(const LineText& line, uint32_t paren, vorn::LineParts* parts) {
    uint32_t from = paren + 1;
    for (;;) {
        uint32_t to = from;
        while (to < line.size && line.at(to) != ',' && line.at(to) != ')')
            ++to;
        vorn::Argument& argument = parts->arguments[parts->argument_count++];
        argument.text = {from, to};
        uint32_t begin = skip_blanks(line, from);
        uint32_t end = to;
        while (end > begin && is_blank(line.at(end - 1)))
            --end;
        argument.value = {begin, end};
        argument.form = form_of(line, argument.value);
        if (to == line.size) {
            argument.end = vorn::ArgumentEnd::LineEnd;
            return;
        }
        if (line.at(to) == ')') {
            argument.end = vorn::ArgumentEnd::Paren;
            parts->ignored = {to + 1, line.size};
            return;
        }
        argument.end = vorn::ArgumentEnd::Comma;
        from = to + 1;
    }
}

void parse_statement(const LineText& line, vorn::LineParts* parts) {
    uint32_t word = skip_blanks(line, 0);
    if (word == line.size)
        return;  // white space only
    parts->kind = vorn::LineKind::Statement;
    uint32_t word_end = skip_word(line, word);
    parts->first_word = {word, word_end};
    // The first '(' of the line: the leading white space holds none.
    const void* found = memchr(line.text + word, '(', line.size - word);
    uint32_t paren = found ? static_cast<uint32_t>(static_cast<const char*>(found) - line.text)
                           : line.size;
    uint32_t command_end = paren < word_end ? paren : word_end;
    parts->command = {word, word + kept_length(command_end - word)};
    parts->head = {word, paren};
    if (!found)
        return;
    parts->has_paren = true;
    parts->call = {paren, line.size};
    split_arguments(line, paren, parts);
}

void parse_directive(const LineText& line, vorn::LineParts* parts) {
    uint32_t word_end = skip_word(line, 0);
    parts->first_word = {0, word_end};
    // The directive words are compared with the word as the compiler keeps it.
    vorn::TextRange kept = {0, kept_length(word_end)};
    uint32_t rest = skip_blanks(line, word_end);
    uint32_t rest_end = skip_word(line, rest);
    bool defvar = word_is(line, kept, DefvarWord);
    if (defvar || word_is(line, kept, DefnumWord)) {
        parts->kind = defvar ? vorn::LineKind::Defvar : vorn::LineKind::Defnum;
        parts->name = {rest, rest_end};
        // Without a name there is nothing after the word: the number would start at the end.
        uint32_t number = skip_blanks(line, rest_end);
        parts->number = {number, parts->name.empty() ? number : number_end(line, number)};
        parts->ignored = {parts->number.end, line.size};
    } else if (word_is(line, kept, IncludeWord)) {
        parts->kind = vorn::LineKind::Include;
        parts->include_name = {rest, rest_end};
        parts->ignored = {rest_end, line.size};
    } else if (line.at(kept.end - 1) == EventLabelEnd) {
        parts->kind = vorn::LineKind::EventLabel;
        parts->name = {0, kept.end - 1};
        parts->ignored = {word_end, line.size};
    } else {
        parts->kind = vorn::LineKind::UnknownDirective;
        parts->ignored = {word_end, line.size};
    }
}

void clear(vorn::LineParts* parts) {
    constexpr vorn::TextRange none = {0, 0};
    parts->kind = vorn::LineKind::Blank;
    parts->first_word = none;
    parts->command = none;
    parts->head = none;
    parts->has_paren = false;
    parts->call = none;
    parts->argument_count = 0;
    parts->name = none;
    parts->number = none;
    parts->include_name = none;
    parts->ignored = none;
}

}  // namespace

void parse_cleaned_line(const char* text, std::size_t length, vorn::LineParts* parts) {
    clear(parts);
    // The compiler's cleaned line ends at its NUL and is never longer than a piece.
    if (length > vorn::MaxPieceLength)
        length = vorn::MaxPieceLength;
    if (const void* nul = memchr(text, '\0', length))
        length = static_cast<std::size_t>(static_cast<const char*>(nul) - text);
    if (length == 0)
        return;
    LineText line{text, static_cast<uint32_t>(length)};
    unsigned char first = line.at(0);
    if (is_blank(first)) {
        parse_statement(line, parts);
    } else if (is_digit(first)) {
        parts->kind = vorn::LineKind::Place;
        parts->first_word = {0, skip_word(line, 0)};
        parts->number = {0, number_end(line, 0)};
        parts->ignored = {parts->number.end, line.size};
    } else {
        parse_directive(line, parts);
    }
}

LineParts parse_cleaned(std::string_view cleaned) {
    LineParts parts;
    parse_cleaned_line(cleaned.data(), cleaned.size(), &parts);
    return parts;
}

TextRange raw_range(const CleanedLine& line, TextRange cleaned) {
    auto raw_at = [&line](std::size_t i) -> std::size_t {
        return i < line.raw_offsets.size() ? line.raw_offsets[i] : line.raw_end;
    };
    RawSpan raw = raw_span(cleaned.begin, cleaned.end, raw_at);
    return TextRange{static_cast<uint32_t>(raw.begin), static_cast<uint32_t>(raw.end)};
}

LineParts to_raw(const LineParts& cleaned_parts, const CleanedLine& line,
                             std::size_t column) {
    LineParts parts = cleaned_parts;
    auto move = [&](TextRange& range) {
        range = raw_range(line, range);
        range.begin += static_cast<uint32_t>(column);
        range.end += static_cast<uint32_t>(column);
    };
    for (TextRange* range : {&parts.first_word, &parts.command, &parts.head, &parts.call,
                             &parts.name, &parts.number, &parts.include_name, &parts.ignored})
        move(*range);
    for (uint32_t i = 0; i < parts.argument_count; ++i) {
        move(parts.arguments[i].text);
        move(parts.arguments[i].value);
    }
    return parts;
}

LineParts parse_line(const CleanedLine& line, std::size_t column) {
    return to_raw(parse_cleaned(line.text), line, column);
}

std::optional<int32_t> argument_number(std::string_view value) {
    // read_number reads up to a NUL: the text goes through a terminated copy.
    std::string text(value);
    const char* at = text.c_str();
    int32_t number = 0;
    if (read_number(&at, &number) == NumberRead::OutOfRange)
        return std::nullopt;
    return number;
}

}  // namespace vorn
