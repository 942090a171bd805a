#include "warnings.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include <vorn/grammar.h>
#include <vorn/line_text.h>

#include "../common/char_class.h"
#include "../common/diagnostics.h"
#include "../common/line_reader.h"
#include "../common/source_reader.h"

namespace vorn {

namespace {

// The blanks before a statement that a fix moves onto a line of its own.
constexpr std::size_t MovedStatementIndent = 4;
// The most hex digits a number-suffix fix reads as the number meant (eight fill 32 bits).
constexpr std::size_t MaxHexDigits = 8;

// The line being looked at: its raw piece cleaned, its parts, and where it stands.
struct WarnLine {
    CompileState& s;
    const SourceFile* file;
    const LineMark& mark;
    // The piece's cleaned text and strings; its parts are the compile's own (s.line).
    const vorn::LinePiece& piece;
    const vorn::LineParts& parts;
    const vorn::CleanedLine& cleaned = piece.clean;

    std::string_view text(vorn::TextRange r) const { return piece.text(r); }
    // The place of a range of the cleaned line in the file.
    vorn::Location where(vorn::TextRange r) const {
        vorn::TextRange raw = vorn::raw_range(cleaned, r);
        return vorn::Location{s.result.files[file->index].path, file->line, mark.column + raw.begin + 1,
                              mark.column + raw.end + 1};
    }
    bool on(DiagnosticKind kind) const { return s.options.warnings.has(kind); }
    // The first error the line gave, or nullptr.
    vorn::Diagnostic* first_error() const {
        for (std::size_t i = mark.diagnostics; i < s.result.diagnostics.size(); ++i)
            if (s.result.diagnostics[i].severity == vorn::Severity::Error)
                return &s.result.diagnostics[i];
        return nullptr;
    }
};

bool blank(unsigned char c) { return vorn::is_line_blank(c); }

// The range without its leading and trailing white space.
vorn::TextRange trimmed(const WarnLine& l, vorn::TextRange r) { return vorn::trim_range(l.cleaned.text, r); }

template <typename... Args>
vorn::Diagnostic* warn(WarnLine& l, DiagnosticKind kind, vorn::TextRange r, Args... args) {
    if (!l.on(kind))
        return nullptr;
    vorn::Location where = l.where(r);
    report_at(l.s, kind, &where, args...);
    l.s.result.diagnostics.back().source = static_cast<int>(l.file->index);
    l.s.result.diagnostics.back().piece = l.s.options.record_lines ? l.file->piece_index : -1;
    return &l.s.result.diagnostics.back();
}

// The text of a range as it is in the file (its quotes and backslashes kept).
std::string raw_text(const WarnLine& l, vorn::TextRange r) {
    vorn::TextRange raw = vorn::raw_range(l.cleaned, r);
    return std::string(l.mark.raw.substr(raw.begin, raw.size()));
}

// Whether the piece is its line's whole text: removing text from a piece of a longer line
// would move the rest of the line across the next piece's boundary, changing what it means.
bool whole_line(const WarnLine& l) {
    std::string_view raw = l.mark.raw;
    return l.mark.column == 0 && ((!raw.empty() && raw.back() == '\n') || raw.size() < vorn::MaxPieceLength);
}

// ignored-text's fix: removing from where the compiler stops reading (removed, blanks
// included) to the end of the ignored text. None in a piece of a longer line.
void fix_by_removing(const WarnLine& l, vorn::Diagnostic* w, vorn::TextRange removed, vorn::TextRange shown) {
    if (w && whole_line(l))
        w->fixes.push_back(vorn::Fix{"remove '" + raw_text(l, shown) + "'", {vorn::Edit{l.where(removed), ""}}, true});
}

// ignored-text that may be a statement (after a label or after a statement's ')'): text that
// reads as a statement is moved onto a line of its own, indented as statements are, never
// removed (safe only for a known command: another one shows its own error there); other
// text is removed.
void fix_by_moving(const WarnLine& l, vorn::Diagnostic* w, vorn::TextRange after) {
    if (!w || !whole_line(l))
        return;
    vorn::TextRange removed{l.parts.ignored.begin, after.end};
    std::string indent(MovedStatementIndent, ' ');
    std::string line = indent + std::string(l.text(after));
    vorn::LineParts moved = vorn::parse_cleaned(line);
    std::string command = line.substr(moved.command.begin, moved.command.size());
    if (moved.kind != vorn::LineKind::Statement || !moved.has_paren || command.empty())
        return fix_by_removing(l, w, removed, after);
    bool known = l.s.lists().find_command(command.c_str()) >= 0;
    std::string_view raw = l.mark.raw;
    // The line's own line end; on a last line without one, that of the lines before it.
    bool crlf = raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0;
    if (raw.empty() || raw.back() != '\n')
        crlf = l.file->crlf_seen;
    std::string line_end = crlf ? "\r\n" : "\n";
    std::string statement = raw_text(l, after);
    w->fixes.push_back(vorn::Fix{"move '" + statement + "' onto a line of its own",
                                 {vorn::Edit{l.where(removed), line_end + indent + statement}}, known});
}

// A number written in hex ("0x1E", read as 0): an unsafe fix writes it in decimal, which is
// most likely what was meant, though the line compiles differently then.
void offer_decimal(const WarnLine& l, vorn::Diagnostic* w, vorn::TextRange range) {
    std::string_view text = l.text(range);
    if (!w || text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') ||
        text.size() > 2 + MaxHexDigits)
        return;
    uint64_t value = 0;
    for (char c : text.substr(2)) {
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            return;
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    if (value > INT32_MAX)
        return;
    std::string decimal = std::to_string(value);
    w->fixes.push_back(vorn::Fix{"replace '" + raw_text(l, range) + "' with '" + decimal + "'",
                                 {vorn::Edit{l.where(range), decimal}}, false});
}

// number-suffix for a number or '&' argument.
void check_number_argument(WarnLine& l, const vorn::Argument& argument) {
    std::string_view value = l.text(argument.value);
    std::size_t start = argument.form == vorn::ArgumentForm::EventParam ? 1 : 0;
    if (start)
        while (start < value.size() && blank(static_cast<unsigned char>(value[start])))
            ++start;
    std::optional<vorn::LeadingNumber> number = vorn::leading_number(value.substr(start));
    if (!number || (number->end > 0 && start + number->end == value.size()))
        return;
    std::string shown(value);
    offer_decimal(l, warn(l, DiagnosticKind::NumberSuffix, argument.value, shown.c_str(), static_cast<long>(number->value)),
                  argument.value);
}

// A cut string that has no closing quote either: "the string is never closed; it compiles
// to "H"" (its argument's text without its first and last characters).
std::optional<vorn::DiagnosticNote> never_closed(const WarnLine& l, const vorn::LineString& string) {
    if (string.closed)
        return std::nullopt;
    const vorn::LineParts& p = l.parts;
    for (uint32_t a = 0; a < p.argument_count; ++a) {
        const vorn::Argument& argument = p.arguments[a];
        if (!argument.value.contains(string.open) || argument.value.size() < 2)
            continue;
        std::string compiled(l.text({argument.value.begin + 1, argument.value.end - 1}));
        return vorn::DiagnosticNote{l.where(argument.value),
                                    "the string is never closed; it compiles to \"" + compiled + "\""};
    }
    return std::nullopt;
}

// string-split: a ',' or ')' between a string's quotes ends its argument there. Whether a
// string was cut so.
bool check_strings(WarnLine& l, vorn::Diagnostic* wrong_count) {
    const vorn::LineParts& p = l.parts;
    const std::string& t = l.cleaned.text;
    uint32_t args_end = p.argument_count ? p.arguments[p.argument_count - 1].text.end : p.call.end;
    std::vector<uint32_t> cut_strings;
    for (const vorn::LineString& string : l.piece.strings) {
        if (string.open < p.call.begin || string.open >= args_end || !string.is_cut())
            continue;
        vorn::TextRange at{string.cut, string.cut + 1};
        std::string text = "the '" + std::string(l.text(at)) + "' inside this string ends the argument here";
        std::optional<vorn::DiagnosticNote> unclosed = never_closed(l, string);
        if (wrong_count) {
            wrong_count->notes.push_back(vorn::DiagnosticNote{l.where(at), text});
            if (unclosed)
                wrong_count->notes.push_back(*unclosed);
        } else if (vorn::Diagnostic* w = warn(l, DiagnosticKind::StringSplit, at, text.c_str()); w && unclosed) {
            w->notes.push_back(*unclosed);
        }
        cut_strings.push_back(string.open);
    }
    if (wrong_count)
        return !cut_strings.empty();
    for (uint32_t a = 0; a < p.argument_count; ++a) {
        const vorn::Argument& argument = p.arguments[a];
        if (argument.form != vorn::ArgumentForm::String || argument.value.size() < 2)
            continue;
        unsigned char last = static_cast<unsigned char>(t[argument.value.end - 1]);
        if (last == CleanCloseQuote)
            continue;
        bool explained = false;
        for (uint32_t open : cut_strings)
            explained = explained || argument.value.contains(open);
        if (explained)
            continue;
        std::string text = "the string does not end with its closing quote; its last character";
        if (last >= 0x20 && last < 0x7F)
            text += std::string(" '") + static_cast<char>(last) + "'";
        text += " is dropped";
        warn(l, DiagnosticKind::StringSplit, argument.value, text.c_str());
    }
    return !cut_strings.empty();
}

void check_statement(WarnLine& l) {
    const vorn::LineParts& p = l.parts;
    if (p.command.empty() || !p.has_paren)
        return;
    // A string cut by its ',' or ')' most often leaves a wrong count or an unknown argument:
    // the error gets a note that says why.
    if (vorn::Diagnostic* error = l.first_error()) {
        check_strings(l, error);
        return;
    }
    vorn::TextRange head = trimmed(l, vorn::TextRange{p.command.end, p.head.end});
    if (!head.empty()) {
        std::string text = "text between '" + std::string(l.text(p.command)) + "' and '('";
        fix_by_removing(l, warn(l, DiagnosticKind::IgnoredText, head, text.c_str()),
                        vorn::TextRange{p.command.end, head.end}, head);
    }
    for (uint32_t a = 0; a < p.argument_count; ++a) {
        const vorn::Argument& argument = p.arguments[a];
        if (argument.form == vorn::ArgumentForm::Number || argument.form == vorn::ArgumentForm::EventParam)
            check_number_argument(l, argument);
    }
    // The rest of a string cut at its ')' is ignored too: string-split says why.
    bool cut = check_strings(l, nullptr);
    vorn::TextRange after = trimmed(l, p.ignored);
    if (!after.empty() && !cut)
        fix_by_moving(l, warn(l, DiagnosticKind::IgnoredText, after, "text after the statement's ')'"), after);
}

const char* number_width(uint16_t stored) {
    switch (ArgumentValueBytes[number_tag(stored)]) {
    case 1:
        return "one-byte";
    case 2:
        return "two-byte";
    default:
        return "four-byte";
    }
}

// The warnings of a definition the line added.
void check_definition(WarnLine& l, const vorn::Definition& d) {
    CompileState& s = l.s;
    vorn::TextRange name = l.parts.name;
    if (find_condition(d.name.c_str()) >= 0)
        warn(l, DiagnosticKind::KeywordName, name, d.name.c_str());
    const std::size_t last = s.result.definitions.size() - 1;
    for (std::size_t i = 0; i < last; ++i) {
        const vorn::Definition& first = s.result.definitions[i];
        if ((first.kind != vorn::DefinitionKind::Variable && first.kind != vorn::DefinitionKind::Constant) ||
            first.name != d.name)
            continue;
        bool takes_over = d.kind == vorn::DefinitionKind::Variable && first.kind == vorn::DefinitionKind::Constant;
        const char* rest = takes_over ? "from here on it names this variable, not the constant"
                                      : "this definition is never found";
        if (vorn::Diagnostic* w = warn(l, DiagnosticKind::RedefinedName, name, d.name.c_str(), rest)) {
            if (first.where.file.empty())
                w->notes.push_back({w->where, "'" + d.name + "' is a predefined variable"});
            else
                w->notes.push_back({first.where, "'" + d.name + "' is first defined here"});
        }
        break;
    }
    if (d.kind == vorn::DefinitionKind::Constant && (d.value < 0 || d.value > UINT16_MAX)) {
        uint16_t stored = static_cast<uint16_t>(d.value);
        // What the name stands for, written out: an unsafe fix, for the number changes.
        if (vorn::Diagnostic* w = warn(l, DiagnosticKind::ConstantWraps, l.parts.number, static_cast<long>(d.value),
                                       static_cast<unsigned>(stored), number_width(stored)))
            w->fixes.push_back(vorn::Fix{"replace '" + raw_text(l, l.parts.number) + "' with '" +
                                             std::to_string(stored) + "', the number '" + d.name + "' stands for",
                                         {vorn::Edit{l.where(l.parts.number), std::to_string(stored)}}, false});
    }
    if (d.kind == vorn::DefinitionKind::Variable) {
        for (std::size_t i = 0; i < last; ++i) {
            const vorn::Definition& other = s.result.definitions[i];
            if (other.kind != vorn::DefinitionKind::Variable || other.value != d.value || other.name == d.name)
                continue;
            if (vorn::Diagnostic* w = warn(l, DiagnosticKind::SharedVariableNumber, name, d.name.c_str(),
                                           static_cast<int>(d.value), other.name.c_str()))
                w->notes.push_back({other.where, "'" + other.name + "' is defined here"});
            break;
        }
    }
}

void check_named_value(WarnLine& l) {
    const vorn::LineParts& p = l.parts;
    // "5abc": the number stops at the first byte that is no digit.
    if (!p.number.empty() && !p.ignored.empty() &&
        !blank(static_cast<unsigned char>(l.cleaned.text[p.ignored.begin]))) {
        vorn::TextRange word{p.number.begin, p.ignored.begin};
        while (word.end < l.cleaned.text.size() && !blank(static_cast<unsigned char>(l.cleaned.text[word.end])))
            ++word.end;
        if (std::optional<vorn::LeadingNumber> number = vorn::leading_number(l.text(p.number))) {
            std::string shown(l.text(word));
            offer_decimal(l, warn(l, DiagnosticKind::NumberSuffix, word, shown.c_str(), static_cast<long>(number->value)),
                          word);
        }
    }
    if (l.s.result.definitions.size() > l.mark.definitions)
        check_definition(l, l.s.result.definitions.back());
}

void label_seen(WarnLine& l, vorn::TextRange range, std::string text) {
    LineWarnings& w = *l.s.warnings;
    check_file_end(l.s, w.label_source);
    w.label_pending = true;
    w.label_source = static_cast<int>(l.file->index);
    w.label_where = l.where(range);
    w.label_piece = l.s.options.record_lines ? l.file->piece_index : -1;
    w.label_text = std::move(text);
}

void check_place(WarnLine& l) {
    const vorn::LineParts& p = l.parts;
    std::string digits(l.text(p.number));
    std::optional<vorn::LeadingNumber> number = vorn::leading_number(digits);
    if (number && number->value > UINT16_MAX)
        warn(l, DiagnosticKind::PlaceWraps, p.number, digits.c_str(),
             static_cast<unsigned>(static_cast<uint16_t>(number->value)));
    vorn::TextRange after = trimmed(l, p.ignored);
    if (!after.empty())
        fix_by_moving(l, warn(l, DiagnosticKind::IgnoredText, after, "text after the place number"), after);
    label_seen(l, p.number, "place " + digits);
}

void check_event_label(WarnLine& l) {
    vorn::TextRange after = trimmed(l, l.parts.ignored);
    if (!after.empty())
        fix_by_moving(l, warn(l, DiagnosticKind::IgnoredText, after, "text after the event label"), after);
    label_seen(l, l.parts.first_word, "'" + std::string(l.text(l.parts.first_word)) + "'");
}

}  // namespace

LineMark mark_line(const CompileState& s, const SourceFile* file, std::size_t length) {
    return LineMark{std::string_view(file->piece, length), s.line.kind, file->column, s.result.definitions.size(),
                    s.result.diagnostics.size(), s.code_pos};
}

void check_line(CompileState& s, SourceFile* file, const LineMark& mark) {
    std::string_view raw = mark.raw;
    if (raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\r\n") == 0)
        file->crlf_seen = true;
    if (mark.column > 0) {
            // The whole piece as read, up to its line end.
        vorn::Location where{s.result.files[file->index].path, file->line, mark.column + 1,
                             mark.column + 1 + static_cast<uint32_t>(std::min(raw.find_first_of(std::string_view("\r\n\0", 3)), raw.size()))};
        if (s.options.warnings.has(DiagnosticKind::LongLine)) {
            report_at(s, DiagnosticKind::LongLine, &where, static_cast<int>(MaxPieceLength), mark.column + 1);
            s.result.diagnostics.back().source = static_cast<int>(file->index);
            s.result.diagnostics.back().piece = s.options.record_lines ? file->piece_index : -1;
        }
    }
    if (s.code_pos != mark.code_pos)
        s.warnings->label_pending = false;
    switch (mark.kind) {
    case vorn::LineKind::Statement:
    case vorn::LineKind::Place:
    case vorn::LineKind::EventLabel:
    case vorn::LineKind::Defvar:
    case vorn::LineKind::Defnum:
        break;
    default:
        return;  // nothing to look for (and an include's lines have parsed over s.line)
    }
    // The piece is cleaned again for the raw place of each cleaned byte and its strings;
    // the parts are the compile's, of the same cleaned text.
    vorn::read_piece(raw, 0, s.warnings->piece, false);
    WarnLine l{s, file, mark, s.warnings->piece, s.line};
    switch (mark.kind) {
    case vorn::LineKind::Statement:
        return check_statement(l);
    case vorn::LineKind::Place:
        return check_place(l);
    case vorn::LineKind::EventLabel:
        return check_event_label(l);
    case vorn::LineKind::Defvar:
    case vorn::LineKind::Defnum:
        return check_named_value(l);
    default:
        return;
    }
}

void check_file_end(CompileState& s, int source) {
    LineWarnings& w = *s.warnings;
    if (!w.label_pending || w.label_source != source)
        return;
    w.label_pending = false;
    if (!s.options.warnings.has(DiagnosticKind::EmptyLabel))
        return;
    report_at(s, DiagnosticKind::EmptyLabel, &w.label_where, w.label_text.c_str());
    s.result.diagnostics.back().source = w.label_source;
    s.result.diagnostics.back().piece = w.label_piece;
}

}  // namespace vorn
