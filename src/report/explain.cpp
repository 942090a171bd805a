#include "explain.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include <vorn/grammar.h>
#include <vorn/language.h>
#include <vorn/line_text.h>

#include "../common/char_class.h"
#include "../common/source_reader.h"
#include "../common/line_reader.h"

namespace vorn {

std::size_t edit_distance(std::string_view a, std::string_view b) {
    // Three rows of the table: two back for a swap, the one before, and the one being filled.
    const std::size_t columns = b.size() + 1;
    std::vector<std::size_t> before_last(columns), last(columns), row(columns);
    for (std::size_t j = 0; j < columns; ++j)
        last[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        row[0] = i;
        for (std::size_t j = 1; j < columns; ++j) {
            std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                row[j] = std::min(row[j], before_last[j - 2] + 1);
        }
        std::swap(before_last, last);
        std::swap(last, row);
    }
    return last[b.size()];
}

std::vector<std::string> closest_names(std::string_view name, const std::vector<std::string_view>& known) {
    std::size_t allowed = name.size() <= ShortNameLength ? MaxShortNameDistance : MaxNameDistance;
    if (allowed >= name.size())
        allowed = name.size() == 0 ? 0 : name.size() - 1;
    std::vector<std::string> closest;
    std::size_t best = allowed + 1;
    for (std::string_view candidate : known) {
        // Lengths further apart than that are further apart in distance too.
        std::size_t gap = candidate.size() > name.size() ? candidate.size() - name.size()
                                                         : name.size() - candidate.size();
        if (gap > allowed || candidate == name)
            continue;
        std::size_t distance = edit_distance(name, candidate);
        if (distance > allowed || distance > best)
            continue;
        if (distance < best) {
            best = distance;
            closest.clear();
        }
        if (std::find(closest.begin(), closest.end(), candidate) == closest.end())
            closest.emplace_back(candidate);
    }
    return closest;
}

namespace {

// The cleaned text of a span of the current line.
std::string_view span_text(const CompileState& s, Span span) {
    return std::string_view(s.open_files->clean + span.begin, span.end - span.begin);
}

std::string quoted(std::string_view name) { return "'" + std::string(name) + "'"; }

// Whether the current piece is its line's whole text: an edit in a piece of a longer line
// would move the rest of the line across the boundary of the next piece, changing what it means.
bool whole_line_piece(const SourceFile* file) {
    std::size_t length = std::strlen(file->piece);
    return file->column == 0 && ((length > 0 && file->piece[length - 1] == '\n') || length < MaxPieceLength);
}

// Whether the span starts inside a string: a string cut at a ',' reads as two arguments, and
// replacing the second part would move or drop its closing quote.
bool touches_string(const SourceFile* file, Span span) {
    return read_piece(file->piece).string_at(static_cast<uint32_t>(span.begin)) != nullptr;
}

// "did you mean 'A'?" (or 'A' or 'B') at the unknown name, with a fix for each: safe when
// there is one. A name in a string or in a piece of a long line gets the note and no fix.
void offer_names(const CompileState& s, vorn::Diagnostic& d, Span span, const std::vector<std::string_view>& known) {
    std::string_view name = span_text(s, span);
    std::vector<std::string> closest = closest_names(name, known);
    if (closest.empty())
        return;
    std::string text = "did you mean ";
    for (std::size_t i = 0; i < closest.size(); ++i) {
        if (i > 0)
            text += i + 1 == closest.size() ? " or " : ", ";
        text += quoted(closest[i]);
    }
    d.notes.push_back(vorn::DiagnosticNote{d.where, text + "?"});
    if (!whole_line_piece(s.open_files) || touches_string(s.open_files, span))
        return;
    for (const std::string& replacement : closest)
        d.fixes.push_back(vorn::Fix{"replace " + quoted(name) + " with " + quoted(replacement),
                                    {vorn::Edit{d.where, replacement}},
                                    closest.size() == 1});
}

// The edit that removes a line's leading white space, up to column (1-based) of its first word.
vorn::Edit unindent(const vorn::Location& where, uint32_t column) {
    vorn::Location range = where;
    range.column = 1;
    range.end_column = column;
    return vorn::Edit{range, ""};
}

bool is_directive(std::string_view word) {
    return word == "include" || word == "defvar" || word == "defnum";
}

bool is_number(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An indented label or directive: the line means what it would say in column 1.
bool explain_indented(const CompileState& s, vorn::Diagnostic& d) {
    const vorn::LineParts& p = s.line;
    std::string_view word = span_text(s, span_of(p.first_word));
    std::string_view command = span_text(s, span_of(p.command));
    if (command != word || d.where.column <= 1)
        return false;
    std::string text;
    if (word.size() > 1 && word.back() == ':') {
        std::string name(word.substr(0, word.size() - 1));
        if (s.lists().find_event(name.c_str()) < 0 && !is_number(name))
            return false;
        text = "a label starts in column 1";
    } else if (is_directive(word)) {
        text = "statements are indented and directives are not: " + quoted(word) + " starts in column 1";
    } else {
        return false;
    }
    d.notes.push_back(vorn::DiagnosticNote{d.where, text});
    d.fixes.push_back(vorn::Fix{"move " + quoted(word) + " to column 1", {unindent(d.where, d.where.column)}, true});
    return true;
}

// A statement in column 1, where a directive stands: its command, once indented, is known.
void explain_unknown_directive(const CompileState& s, vorn::Diagnostic& d) {
    const vorn::LineParts& p = s.line;
    std::string_view word = span_text(s, span_of(p.first_word));
    std::string_view command = word.substr(0, word.find('('));
    if (command.empty() || command.size() == word.size() || d.where.column != 1 ||
        s.lists().find_command(std::string(command).c_str()) < 0)
        return;
    d.notes.push_back(vorn::DiagnosticNote{
        d.where, "statements are indented and directives are not: indent " + quoted(command)});
    vorn::Location at = d.where;
    at.end_column = at.column;
    d.fixes.push_back(vorn::Fix{"indent " + quoted(command), {vorn::Edit{at, StatementIndent}}, true});
}

void explain_unknown_command(const CompileState& s, vorn::Diagnostic& d, Span span) {
    if (explain_indented(s, d))
        return;
    std::vector<std::string_view> known;
    for (const vorn::CommandEntry& command : s.lists().commands)
        known.emplace_back(command.name);
    offer_names(s, d, span, known);
}

void explain_unknown_event(const CompileState& s, vorn::Diagnostic& d, Span span) {
    std::vector<std::string_view> known;
    for (const vorn::NameEntry& event : s.lists().events)
        known.emplace_back(event.name);
    offer_names(s, d, span, known);
}

std::string arguments_text(std::size_t count);

// How many arguments the command of that name takes; nothing when the list has no such command.
std::optional<std::size_t> arguments_taken(const CompileState& s, std::string_view name) {
    int command = s.lists().find_command(std::string(name).c_str());
    if (command < 0)
        return std::nullopt;
    return s.lists().commands[static_cast<std::size_t>(command)].arg_count;
}

// "Say()": one argument, and empty, for a command that takes some.
void explain_empty_argument(const CompileState& s, vorn::Diagnostic& d) {
    const vorn::LineParts& p = s.line;
    if (p.command.empty() || p.argument_count != 1 || !p.arguments[0].text.empty())
        return;
    std::string_view name = span_text(s, span_of(p.command));
    std::optional<std::size_t> taken = arguments_taken(s, name);
    if (!taken)
        return;
    std::size_t takes = *taken;
    d.notes.push_back(vorn::DiagnosticNote{d.where, quoted(name) + " takes " + arguments_text(takes) +
                                                        "; none were given"});
}

// The line of the current file, after the current one, that defines name with defvar or
// defnum; 0 when none does (or the file cannot be read again).
uint32_t later_definition(CompileState& s, std::string_view name) {
    const SourceFile* file = s.open_files;
    if (s.later_lookups >= MaxLaterLookups)
        return 0;
    ++s.later_lookups;
    std::unique_ptr<vorn::InputFile> input = s.provider.open(s.result.files[file->index].path);
    if (!input)
        return 0;
    std::string text;
    unsigned char block[SourceBlockSize];
    for (long got; (got = input->read(block, sizeof block)) > 0;) {
        text.append(reinterpret_cast<const char*>(block), static_cast<std::size_t>(got));
        if (text.size() > MaxLaterLookupBytes)
            return 0;
    }
    uint32_t line = 1;
    for (std::size_t at = 0; at < text.size(); ++line) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string_view raw(text.data() + at, end - at);
        at = end + 1;
        if (line <= file->line || raw.substr(0, MaxPieceLength).find(name) == std::string_view::npos)
            continue;
        vorn::LinePiece piece = vorn::read_piece(raw);
        if ((piece.parts.kind == vorn::LineKind::Defvar || piece.parts.kind == vorn::LineKind::Defnum) &&
            piece.text(piece.parts.name) == name)
            return line;
    }
    return 0;
}

// "'Later' is defined later, at line 11": a name is known only from its definition on.
void explain_defined_later(CompileState& s, vorn::Diagnostic& d, std::string_view name) {
    if (uint32_t line = later_definition(s, name))
        d.notes.push_back(vorn::DiagnosticNote{d.where, quoted(name) + " is defined later, at line " +
                                                            std::to_string(line)});
}

// An argument name is looked for among the condition keywords, then the variables, then the
// constants defined so far.
void explain_unknown_argument(CompileState& s, vorn::Diagnostic& d, Span span) {
    std::string_view name = span_text(s, span);
    if (name.empty())
        return explain_empty_argument(s, d);
    std::vector<std::string_view> known(ConditionKeywordTable, ConditionKeywordTable + ConditionKeywordCount);
    for (uint16_t i = 0; i < s.defvar_count; ++i)
        known.emplace_back(s.tables->defvars[i].name);
    for (uint16_t i = 0; i < s.defnum_count; ++i)
        known.emplace_back(s.tables->defnums[i].name);
    offer_names(s, d, span, known);
    if (d.notes.empty())
        explain_defined_later(s, d, name);
}

std::string arguments_text(std::size_t count) {
    if (count == 0)
        return "no arguments";
    return std::to_string(count) + (count == 1 ? " argument" : " arguments");
}

// "'Reply' takes 2 arguments; 3 were given", the arguments counted as the compiler splits
// them: at every ',' and up to the first ')'.
void explain_argument_count(const CompileState& s, vorn::Diagnostic& d) {
    const vorn::LineParts& p = s.line;
    if (p.command.empty() || !p.has_paren || p.argument_count == 0)
        return;
    std::string_view name = span_text(s, span_of(p.command));
    std::optional<std::size_t> taken = arguments_taken(s, name);
    if (!taken)
        return;
    std::size_t takes = *taken;
    std::string text = quoted(name) + " takes " + arguments_text(takes) + "; ";
    const vorn::Argument& last = p.arguments[p.argument_count - 1];
    std::size_t given = p.argument_count;
    bool blank = false;
    if (given == 1 && p.arguments[0].value.empty() && last.end == vorn::ArgumentEnd::Paren) {
        // "( )" is one argument, and an empty one; "()" none.
        blank = !p.arguments[0].text.empty();
        given = 0;
    }
    if (last.end == vorn::ArgumentEnd::LineEnd)
        text += "the line ends without the ')' after " + arguments_text(given);
    else if (blank)
        text += "one empty argument was given";
    else if (given == 0)
        text += "none were given";
    else
        text += std::to_string(given) + (given == 1 ? " was given" : " were given");
    d.notes.push_back(vorn::DiagnosticNote{d.where, text});
}

// An include whose name is cut at a '/' (which starts a comment unless escaped): when the
// file the whole word names is there, escaping its slashes makes the line name it.
void explain_cut_include(CompileState& s, vorn::Diagnostic& d, Span span) {
    const vorn::LineParts& p = s.line;
    if (p.kind != vorn::LineKind::Include || p.include_name.begin != span.begin ||
        p.include_name.end != span.end || span.end == span.begin)
        return;
    const SourceFile* file = s.open_files;
    const char* raw = file->piece;
    std::size_t name_begin = span.begin > 0 ? raw_offset(raw, span.begin - 1) + 1 : 0;
    std::size_t cut = raw_offset(raw, span.end - 1) + 1;
    if (!read_piece(raw).slash_comment(cut))
        return;
    std::size_t end = cut + meant_word_length(raw + cut);
    std::string rest(raw + cut, end - cut);
    std::string path = std::string(span_text(s, span)) + rest;
    if (rest.find_first_not_of('/') == std::string::npos || path.size() >= FirstWordSize ||
        !s.provider.identify(path))
        return;
    std::string new_text = std::string(raw + name_begin, cut - name_begin) + spell_word(rest);
    vorn::Location range = d.where;
    range.end_column = file->column + static_cast<uint32_t>(end) + 1;
    d.notes.push_back(vorn::DiagnosticNote{range, "a '/' starts a comment: write " + quoted(new_text) +
                                                      " to include " + quoted(path)});
    d.fixes.push_back(vorn::Fix{"escape the '/' of " + quoted(path), {vorn::Edit{range, new_text}}, true});
    // The include's record (made when it could not be opened) knows the file meant.
    if (!s.result.files.empty() && !s.result.files.back().opened)
        s.result.files.back().meant = path;
}

// "defvar NoNumber": the number that would follow the name is missing.
void explain_defvar_range(const CompileState& s, vorn::Diagnostic& d) {
    const vorn::LineParts& p = s.line;
    if (p.kind != vorn::LineKind::Defvar || p.name.empty() || !p.number.empty())
        return;
    d.notes.push_back(vorn::DiagnosticNote{
        d.where, "the number is missing: a variable's number, from 0 to " + std::to_string(MaxDefvarNumber) +
                     ", follows its name"});
}

// "a string holds at most 79 characters; this one has 85".
void explain_too_long(vorn::Diagnostic& d, Span span) {
    std::size_t length = span.end - span.begin;
    std::string text;
    if (d.kind == DiagnosticKind::StringTooLong) {
        length = length >= 2 ? length - 2 : 0;  // the marks of its quotes
        text = "a string holds at most " + std::to_string(MaxStringLength) + " characters; this one has " +
               std::to_string(length);
    } else {
        text = "an argument holds at most " + std::to_string(ArgumentSize - 1) + " characters; this one has " +
               std::to_string(length);
    }
    d.notes.push_back(vorn::DiagnosticNote{d.where, text});
}

// An event label or place defined again: a note at the first definition, and where both are
// the same line of a file included twice, at the two include lines.
void explain_defined_twice(const CompileState& s, vorn::Diagnostic& d, Span span) {
    std::string name(span_text(s, span));
    const vorn::Definition* first = nullptr;
    for (const vorn::Definition& def : s.result.definitions) {
        bool same = d.kind == DiagnosticKind::EventDefined
                        ? def.kind == vorn::DefinitionKind::EventLabel && def.name == name
                        : def.kind == vorn::DefinitionKind::Place && std::to_string(def.index) == name;
        if (same) {
            first = &def;
            break;
        }
    }
    if (!first)
        return;
    std::string what = d.kind == DiagnosticKind::EventDefined ? quoted(name) : "place " + first->name;
    d.notes.push_back(vorn::DiagnosticNote{first->where, what + " is first defined here"});
    const auto& files = s.result.files;
    const SourceFile* file = s.open_files;
    if (first->where.file != d.where.file || first->where.line != d.where.line || first->source < 0 ||
        static_cast<std::size_t>(first->source) == file->index)
        return;
    // The same file opened twice: name the include line of each opening.
    for (std::size_t opening : {static_cast<std::size_t>(first->source), static_cast<std::size_t>(file->index)}) {
        const vorn::SourceRecord& record = files[opening];
        if (record.includer < 0)
            return;
        vorn::Location at{files[static_cast<std::size_t>(record.includer)].path, record.include_line, 0, 0};
        d.notes.push_back(vorn::DiagnosticNote{at, quoted(record.path) + " is included here"});
    }
}

}  // namespace

void explain(CompileState& s, vorn::Diagnostic& d, Span span) {
    if (!s.open_files)
        return;
    switch (d.kind) {
    case DiagnosticKind::UnknownCommand:
        return explain_unknown_command(s, d, span);
    case DiagnosticKind::EventUnknown:
        return explain_unknown_event(s, d, span);
    case DiagnosticKind::UnknownArgument:
        return explain_unknown_argument(s, d, span);
    case DiagnosticKind::WrongArgCount:
        return explain_argument_count(s, d);
    case DiagnosticKind::UnknownDirective:
        return explain_unknown_directive(s, d);
    case DiagnosticKind::DefvarRange:
        return explain_defvar_range(s, d);
    case DiagnosticKind::StringTooLong:
    case DiagnosticKind::ArgumentTooLong:
        return explain_too_long(d, span);
    case DiagnosticKind::EventDefined:
    case DiagnosticKind::PlaceTaken:
        return explain_defined_twice(s, d, span);
    case DiagnosticKind::CannotOpenFile:
    case DiagnosticKind::NotRegularFile:  // the folder the cut name names, where only files are read
        return explain_cut_include(s, d, span);
    default:
        return;
    }
}

}  // namespace vorn
