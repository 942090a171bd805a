#include "project_features.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <tuple>

#include "analysis.h"

namespace lsp {

namespace {

bool renamable(vorn::SymbolKind kind) {
    return kind == vorn::SymbolKind::Variable || kind == vorn::SymbolKind::Constant ||
           kind == vorn::SymbolKind::Command || kind == vorn::SymbolKind::Event;
}

bool in_list(vorn::SymbolKind kind) {
    return kind == vorn::SymbolKind::Command || kind == vorn::SymbolKind::Event;
}

// Where a symbol's definition stands, with its line in the list for a command or an event;
// the file is empty for a symbol defined nowhere (the predefined names, the keywords).
vorn::Location definition_of(const ProjectContext& context, const vorn::Symbol& symbol) {
    vorn::Location where = symbol.definition;
    if (in_list(symbol.kind) && !where.file.empty()) {
        const Text* list = context.file_text(absolute_in(where.file, context.project.folder()));
        where.line = list ? list_entry_line(*list, symbol.name) : 0;
        if (where.line > 0) {
            where.column = 1;
            where.end_column = static_cast<uint32_t>(symbol.name.size() + 1);
        }
    }
    return where;
}

// Turns places in project files into protocol locations. Places come in runs of one file
// (uses are ordered by file), so the file's path, text and URI are looked up once a run.
class Locator {
public:
    explicit Locator(const ProjectContext& context) : context_(context) {}

    Location operator()(const vorn::Location& where) {
        if (!looked_up_ || where.file != file_) {
            file_ = where.file;
            std::string path = absolute_in(where.file, context_.project.folder());
            text_ = context_.file_text(path);
            uri_ = context_.uri_of(path);
            looked_up_ = true;
        }
        Range range = line_range(0, 0, 0);
        if (text_ && where.line > 0 && where.line <= text_->line_count()) {
            std::string_view raw = text_->line(where.line - 1);
            uint32_t end = std::max(where.end_column, where.column);
            range = line_range(where.line - 1, character_of(raw, where.column ? where.column - 1 : 0, context_.encoding),
                               character_of(raw, end ? end - 1 : 0, context_.encoding));
        }
        return Location{uri_, range};
    }

private:
    const ProjectContext& context_;
    bool looked_up_ = false;
    std::string file_;
    std::string uri_;
    const Text* text_ = nullptr;
};

Location location_of(const ProjectContext& context, const vorn::Location& where) { return Locator(context)(where); }

// Every place of the symbols, the definitions first where asked, each once.
std::vector<vorn::Location> places(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                                   bool with_declaration) {
    std::vector<vorn::Location> found;
    std::set<std::tuple<std::string, uint32_t, uint32_t>> seen;
    auto add = [&](const vorn::Location& where) {
        if (seen.emplace(where.file, where.line, where.column).second)
            found.push_back(where);
    };
    for (const vorn::Symbol* symbol : symbols) {
        vorn::Location definition = definition_of(context, *symbol);
        if (with_declaration && !definition.file.empty() && definition.line > 0)
            add(definition);
        for (const vorn::Location& use : symbol->uses)
            add(use);
    }
    return found;
}

int symbol_kind_number(vorn::SymbolKind kind) {
    // The protocol's SymbolKind numbers.
    switch (kind) {
    case vorn::SymbolKind::Variable: return 13;
    case vorn::SymbolKind::Constant: return 14;
    case vorn::SymbolKind::EventLabel: return 24;
    case vorn::SymbolKind::Place: return 20;
    case vorn::SymbolKind::Command: return 12;
    case vorn::SymbolKind::Event: return 24;
    case vorn::SymbolKind::Condition: return 22;
    case vorn::SymbolKind::Include: return 1;
    }
    return 13;
}

// Why new_name cannot take the symbol's place without changing what the scripts mean; empty
// when it can.
std::string refusal(const ProjectContext& context, const vorn::Symbol& symbol, const std::string& new_name) {
    if (new_name.empty())
        return "a name cannot be empty";
    if (new_name.size() >= vorn::NameSize)
        return "a name has at most " + std::to_string(vorn::NameSize - 1) + " characters";
    for (char c : new_name)
        if (std::isspace(static_cast<unsigned char>(c)) || std::string_view("(),;\"/:").find(c) != std::string_view::npos)
            return std::string("'") + c + "' ends a word or starts a comment";
    if (std::isdigit(static_cast<unsigned char>(new_name[0])) || new_name[0] == '-')
        return "a name starting with a digit reads as a number";
    for (int i = 0; i < vorn::ConditionKeywordCount; ++i)
        if (new_name == vorn::ConditionKeywordTable[i])
            return "'" + new_name + "' is a condition keyword, which would shadow it";
    bool value = symbol.kind == vorn::SymbolKind::Variable || symbol.kind == vorn::SymbolKind::Constant;
    for (const vorn::Symbol& other : context.project.symbols()) {
        if (&other == &symbol || other.name != new_name)
            continue;
        bool other_value = other.kind == vorn::SymbolKind::Variable || other.kind == vorn::SymbolKind::Constant;
        if ((value && other_value) || other.kind == symbol.kind) {
            std::string where = other.definition.file.empty()
                                    ? "predefined"
                                    : "defined in " + other.definition.file +
                                          (other.definition.line ? ":" + std::to_string(other.definition.line) : "");
            return "'" + new_name + "' is " + where + ", and one of the two would shadow the other";
        }
    }
    const std::string* file = nullptr;
    const Text* text = nullptr;
    for (const vorn::Location& use : symbol.uses) {
        if (!file || use.file != *file) {
            file = &use.file;
            text = context.file_text(absolute_in(use.file, context.project.folder()));
        }
        if (!text || use.line == 0 || use.line > text->line_count() || use.column < 2)
            continue;
        std::string_view raw = text->line(use.line - 1);
        if (use.column - 2 < raw.size() && raw[use.column - 2] == '"')
            return "'" + symbol.name + "' is used inside a string at " + use.file + ":" + std::to_string(use.line);
    }
    return {};
}

}  // namespace

uint32_t list_entry_line(const Text& list, const std::string& name) {
    for (std::size_t i = 0; i < list.line_count(); ++i) {
        std::string_view raw = list.line(i);
        std::size_t end = 0;
        while (end < raw.size() && !std::isspace(static_cast<unsigned char>(raw[end])))
            ++end;
        if (raw.substr(0, end) == name)
            return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

std::vector<const vorn::Symbol*> symbols_at(const ProjectContext& context, const std::string& path,
                                            const Text& text, Position position) {
    if (position.line >= text.line_count())
        return {};
    std::string_view raw = text.line(position.line);
    auto column = static_cast<uint32_t>(byte_of(raw, position.character, context.encoding) + 1);
    return context.project.symbols_at(path, position.line + 1, column);
}

std::vector<Location> references(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                                 bool with_declaration) {
    std::vector<Location> out;
    Locator locate(context);
    for (const vorn::Location& where : places(context, symbols, with_declaration))
        out.push_back(locate(where));
    return out;
}

std::vector<DocumentHighlight> highlights(const ProjectContext& context,
                                          const std::vector<const vorn::Symbol*>& symbols, const std::string& path) {
    std::string file = context.project.key(path);
    std::vector<DocumentHighlight> out;
    Locator locate(context);
    for (const vorn::Location& where : places(context, symbols, true))
        if (where.file == file)
            out.push_back(DocumentHighlight{locate(where).range});
    return out;
}

std::optional<Location> list_definition(const ProjectContext& context,
                                        const std::vector<const vorn::Symbol*>& symbols) {
    for (const vorn::Symbol* symbol : symbols) {
        if (symbol->kind == vorn::SymbolKind::Include)
            return location_of(context, symbol->definition);
        if (in_list(symbol->kind)) {
            vorn::Location where = definition_of(context, *symbol);
            if (!where.file.empty())
                return location_of(context, where);
        }
    }
    return std::nullopt;
}

PrepareRenameResult prepare_rename(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                                   const std::string& path, uint32_t line) {
    std::string file = context.project.key(path);
    for (const vorn::Symbol* symbol : symbols) {
        if (!renamable(symbol->kind))
            continue;
        if (symbol->definition.file.empty())
            throw Refusal{"'" + symbol->name + "' is predefined"};
        for (const vorn::Location& where : places(context, {symbol}, true))
            if (where.file == file && where.line == line)
                return PrepareRenameResult{location_of(context, where).range, symbol->name};
    }
    throw Refusal{"only variables, constants, commands and events can be renamed"};
}

WorkspaceEdit rename(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                     const std::string& new_name) {
    auto symbol = std::find_if(symbols.begin(), symbols.end(),
                               [](const vorn::Symbol* s) { return renamable(s->kind); });
    if (symbol == symbols.end())
        throw Refusal{"only variables, constants, commands and events can be renamed"};
    if ((*symbol)->definition.file.empty())
        throw Refusal{"'" + (*symbol)->name + "' is predefined"};
    std::string why = refusal(context, **symbol, new_name);
    if (!why.empty())
        throw Refusal{why};
    WorkspaceEdit edit;
    Locator locate(context);
    for (const vorn::Location& where : places(context, {*symbol}, true)) {
        Location at = locate(where);
        edit.changes[at.uri].push_back(TextEdit{at.range, new_name});
    }
    return edit;
}

std::vector<SymbolInformation> workspace_symbols(const ProjectContext& context, const std::string& query) {
    auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::string wanted = lower(query);
    std::vector<SymbolInformation> out;
    for (const vorn::Symbol& symbol : context.project.symbols()) {
        if (symbol.kind == vorn::SymbolKind::Include || symbol.kind == vorn::SymbolKind::Condition)
            continue;
        vorn::Location where = definition_of(context, symbol);
        if (where.file.empty() || where.line == 0)
            continue;
        if (lower(symbol.name).find(wanted) == std::string::npos)
            continue;
        out.push_back(SymbolInformation{symbol.name, symbol_kind_number(symbol.kind), location_of(context, where)});
    }
    return out;
}

}  // namespace lsp
