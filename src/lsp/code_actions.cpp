#include "code_actions.h"

#include <cctype>

#include <vorn/edit_check.h>
#include <vorn/grammar.h>
#include <vorn/line_text.h>

#include "analysis.h"

namespace lsp {

using json = nlohmann::json;

namespace {

// The severity the protocol gives a diagnostic of this weight.
int protocol_severity(vorn::Severity severity) {
    switch (severity) {
    case vorn::Severity::Warning:
        return 2;
    case vorn::Severity::Note:
        return 3;
    case vorn::Severity::Error:
        break;
    }
    return SeverityError;
}

// The arguments of the statement on a raw line, counted as the compiler splits them: "()"
// has none.
std::size_t arguments_given(std::string_view raw) {
    vorn::LinePiece piece = vorn::read_piece(raw);
    const vorn::LineParts& parts = piece.parts;
    if (!parts.has_paren || parts.argument_count == 0)
        return 0;
    const vorn::Argument& first = parts.arguments[0];
    if (parts.argument_count == 1 && first.value.empty() && first.end == vorn::ArgumentEnd::Paren)
        return 0;
    return parts.argument_count;
}

// "Add 'Teleprt' to command.lst": a line at the list's end, under the next code after the
// highest one listed, with the call's argument count.
std::optional<CodeAction> add_to_command_list(const CodeActionContext& context, const vorn::ContextDiagnostic& found,
                                              const std::string& name, const Diagnostic& diagnostic) {
    const vorn::Project& project = context.project;
    std::vector<std::string> tops = project.tops_reaching(project.key(context.path));
    const vorn::CompileResult* compile = tops.empty() ? nullptr : project.compile_of(tops.front());
    std::string list_path = absolute_in(vorn::CommandListFile, project.folder());
    const Text* list = context.text_of(list_path);
    const Text* script = context.text_of(context.path);
    const vorn::Location& where = found.diagnostic.where;
    if (!compile || !list || !script || where.line == 0 || where.line > script->line_count())
        return std::nullopt;
    unsigned code = 1;
    for (const vorn::CommandEntry& command : compile->lists.commands)
        code = std::max(code, static_cast<unsigned>(command.code) + 1);
    std::string entry = command_list_entry(name, code, arguments_given(script->line(where.line - 1)));
    if (entry.empty())
        return std::nullopt;
    const std::string& bytes = list->bytes();
    std::string line_end = bytes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::string text = (bytes.empty() || bytes.back() == '\n' ? "" : line_end) + entry + line_end;
    uint32_t last = static_cast<uint32_t>(list->line_count() - 1);
    uint32_t end = character_of(list->line(last), list->line(last).size(), context.encoding);
    // A last line that ends in a lone CR keeps it: the new line goes after it.
    CodeAction add{"Add '" + name + "' to " + vorn::CommandListFile, {diagnostic}, {}};
    add.edit.changes[context.uri_of(list_path)].push_back(TextEdit{line_range(last, end, end), text});
    return add;
}

}  // namespace

std::string command_list_entry(const std::string& name, unsigned code, std::size_t count) {
    return vorn::spell_command_entry(name, code, count);
}

namespace {

// A safe fix is marked preferred only when, checked over every top script that reaches its
// file (compiled before and after in memory), it holds for each; with more of them than this,
// it is offered unmarked.
constexpr std::size_t MaxCheckedIncluders = 16;

// Whether the fix holds for every top script reaching the document.
bool holds_for_project(const CodeActionContext& context, const vorn::Fix& fix) {
    const vorn::Project& project = context.project;
    std::vector<std::string> tops = project.tops_reaching(project.key(context.path));
    if (tops.empty() || tops.size() > MaxCheckedIncluders)
        return false;
    vorn::EditChecker checker(project.compile_options(), context.files, context.side_by_side);
    if (context.each_open)
        context.each_open([&](const std::string& path, const std::string& text) { checker.serve(path, text); });
    for (const std::string& top : tops)
        checker.add_context(project.folder(), top, project.compile_of(top));
    return vorn::check_fix(checker, project.folder(), fix).empty();
}

}  // namespace

std::vector<CodeAction> code_actions(const CodeActionContext& context) {
    const vorn::Project& project = context.project;
    std::vector<CodeAction> actions;
    for (const vorn::ContextDiagnostic& found : project.diagnostics()) {
        const vorn::Diagnostic& d = found.diagnostic;
        if (d.where.file.empty() || absolute_in(d.where.file, project.folder()) != context.path)
            continue;
        Range range = context.range_of(context.path, d.where);
        if (range.end.line < context.range.start.line || range.start.line > context.range.end.line)
            continue;
        Diagnostic diagnostic{range, protocol_severity(d.severity), vorn::kind_name(d.kind), d.text, {}};
        // The one safe fix of a diagnostic is the obvious one.
        std::size_t safe = 0;
        for (const vorn::Fix& fix : d.fixes)
            safe += fix.safe ? 1 : 0;
        for (const vorn::Fix& fix : d.fixes) {
            WorkspaceEdit changes;
            for (const vorn::Edit& edit : fix.edits) {
                std::string path = absolute_in(edit.range.file, project.folder());
                changes.changes[context.uri_of(path)].push_back(TextEdit{context.range_of(path, edit.range), edit.new_text});
            }
            std::string title = fix.description;
            if (!title.empty())
                title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
            CodeAction action{title, {diagnostic}, std::move(changes)};
            action.preferred = fix.safe && safe == 1 && holds_for_project(context, fix);
            actions.push_back(std::move(action));
        }
        if (d.kind == vorn::DiagnosticKind::UnknownCommand) {
            const Text* script = context.text_of(context.path);
            if (script && d.where.line > 0 && d.where.line <= script->line_count() && d.where.end_column > d.where.column) {
                std::string_view line = script->line(d.where.line - 1);
                // The name as the compiler read it: its cleaned text.
                vorn::LinePiece piece = vorn::read_piece(line);
                std::string name(piece.text(piece.parts.command));
                if (std::optional<CodeAction> add = add_to_command_list(context, found, name, diagnostic))
                    actions.push_back(std::move(*add));
            }
        }
    }
    return actions;
}

}  // namespace lsp
