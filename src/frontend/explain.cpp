#include "explain.h"

#include <algorithm>
#include <cstring>

#include <vorn/grammar.h>
#include <vorn/language.h>

#include "../common/char_class.h"
#include "../common/source_reader.h"
#include "preprocess.h"

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

// "did you mean 'A'?" (or 'A' or 'B') at the unknown name, with a fix for each: safe when
// there is one.
void offer_names(vorn::Diagnostic& d, std::string_view name, const std::vector<std::string_view>& known) {
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
    for (const std::string& replacement : closest)
        d.fixes.push_back(vorn::Fix{"replace " + quoted(name) + " with " + quoted(replacement),
                                    {vorn::Edit{d.where, replacement}},
                                    closest.size() == 1});
}

void explain_unknown_command(const CompileState& s, vorn::Diagnostic& d, Span span) {
    std::vector<std::string_view> known;
    for (const vorn::CommandEntry& command : s.lists().commands)
        known.emplace_back(command.name);
    offer_names(d, span_text(s, span), known);
}

void explain_unknown_event(const CompileState& s, vorn::Diagnostic& d, Span span) {
    std::vector<std::string_view> known;
    for (const vorn::NameEntry& event : s.lists().events)
        known.emplace_back(event.name);
    offer_names(d, span_text(s, span), known);
}

// An argument name is looked for among the condition keywords, then the variables, then the
// constants defined so far.
void explain_unknown_argument(const CompileState& s, vorn::Diagnostic& d, Span span) {
    std::vector<std::string_view> known(ConditionKeywordTable, ConditionKeywordTable + ConditionKeywordCount);
    for (uint16_t i = 0; i < s.defvar_count; ++i)
        known.emplace_back(s.tables->defvars[i].name);
    for (uint16_t i = 0; i < s.defnum_count; ++i)
        known.emplace_back(s.tables->defnums[i].name);
    offer_names(d, span_text(s, span), known);
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
    int command = s.lists().find_command(std::string(name).c_str());
    if (command < 0)
        return;
    std::size_t takes = s.lists().commands[static_cast<std::size_t>(command)].arg_count;
    std::string text = quoted(name) + " takes " + arguments_text(takes) + "; ";
    const vorn::Argument& last = p.arguments[p.argument_count - 1];
    std::size_t given = p.argument_count;
    if (given == 1 && p.arguments[0].value.empty() && last.end == vorn::ArgumentEnd::Paren)
        given = 0;
    if (last.end == vorn::ArgumentEnd::LineEnd)
        text += "the line ends without the ')' after " + arguments_text(given);
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
    if (raw[cut] != '/')
        return;
    std::size_t end = cut;
    while (raw[end] != '\0' && !is_blank(static_cast<unsigned char>(raw[end])) &&
           std::strchr(";\\\r\n", raw[end]) == nullptr)
        ++end;
    std::string rest(raw + cut, end - cut);
    std::string path = std::string(span_text(s, span)) + rest;
    if (rest.find_first_not_of('/') == std::string::npos || path.size() >= FirstWordSize ||
        !s.provider.identify(path))
        return;
    std::string new_text(raw + name_begin, cut - name_begin);
    for (char c : rest) {
        if (c == '/')
            new_text += '\\';
        new_text += c;
    }
    vorn::Location range = d.where;
    range.end_column = file->column + static_cast<uint32_t>(end) + 1;
    d.notes.push_back(vorn::DiagnosticNote{range, "a '/' starts a comment: write " + quoted(new_text) +
                                                      " to include " + quoted(path)});
    d.fixes.push_back(vorn::Fix{"escape the '/' of " + quoted(path), {vorn::Edit{range, new_text}}, true});
    // The include's record (made when it could not be opened) knows the file meant.
    if (!s.result.files.empty() && !s.result.files.back().opened)
        s.result.files.back().meant = path;
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
    case DiagnosticKind::CannotOpenFile:
    case DiagnosticKind::NotRegularFile:  // the folder the cut name names, where only files are read
        return explain_cut_include(s, d, span);
    default:
        return;
    }
}

}  // namespace vorn
