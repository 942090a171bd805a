#include "project_features.h"

#include <algorithm>
#include <map>
#include <cctype>
#include <set>
#include <tuple>

#include <vorn/edit_check.h>
#include <vorn/line_text.h>

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
    if (std::optional<char> c = vorn::name_breaking_byte(new_name))
        return std::string("'") + *c + "' ends a word or starts a comment";
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
        if (vorn::in_string(text->line(use.line - 1), use.column - 1))
            return "'" + symbol.name + "' is used inside a string at " + use.file + ":" + std::to_string(use.line);
    }
    return {};
}

}  // namespace

uint32_t list_entry_line(const Text& list, const std::string& name) {
    for (std::size_t i = 0; i < list.line_count(); ++i) {
        if (vorn::list_entry_name(list.line(i)) == name)
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

namespace {

// At most this many symbols are renamed together (a name that means a different definition in
// each top script that reaches it).
constexpr std::size_t MaxRenamedSymbols = 4096;

bool holds_value(vorn::SymbolKind kind) {
    return kind == vorn::SymbolKind::Variable || kind == vorn::SymbolKind::Constant;
}

// A variable in one top script may be a constant in another: both are renamed.
bool same_family(vorn::SymbolKind a, vorn::SymbolKind b) { return a == b || (holds_value(a) && holds_value(b)); }

// Every symbol that a place of one of the symbols also resolves to, in any top script: a name
// in a shared file that means a different definition in each includer renames all of them.
std::vector<const vorn::Symbol*> renamed_together(const ProjectContext& context, std::vector<const vorn::Symbol*> found) {
    std::set<const vorn::Symbol*> seen(found.begin(), found.end());
    const std::string& folder = context.project.folder();
    for (std::size_t i = 0; i < found.size() && found.size() < MaxRenamedSymbols; ++i) {
        std::vector<vorn::Location> at = found[i]->uses;
        if (!in_list(found[i]->kind))
            at.push_back(found[i]->definition);
        for (const vorn::Location& where : at) {
            if (where.file.empty() || where.line == 0)
                continue;
            for (const vorn::Symbol* other :
                 context.project.symbols_at(absolute_in(where.file, folder), where.line, where.column))
                if (same_family(other->kind, found[0]->kind) && other->name == found[0]->name && seen.insert(other).second)
                    found.push_back(other);
        }
    }
    return found;
}

vorn::NameRole role_of(vorn::SymbolKind kind) {
    if (kind == vorn::SymbolKind::Command)
        return vorn::NameRole::Command;
    if (kind == vorn::SymbolKind::Event)
        return vorn::NameRole::Event;
    return vorn::NameRole::Value;
}

// The edits of one file, whatever names reach it.
struct FileRename {
    std::string path;  // absolute
    vorn::Location first;  // its first place, as the project names the file
    std::vector<vorn::Edit> edits;
};

}  // namespace

WorkspaceEdit rename(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                     const std::string& new_name) {
    auto symbol = std::find_if(symbols.begin(), symbols.end(),
                               [](const vorn::Symbol* s) { return renamable(s->kind); });
    if (symbol == symbols.end())
        throw Refusal{"only variables, constants, commands and events can be renamed"};
    std::vector<const vorn::Symbol*> start;
    for (const vorn::Symbol* s : symbols)
        if (same_family(s->kind, (*symbol)->kind) && s->name == (*symbol)->name)
            start.push_back(s);
    std::vector<const vorn::Symbol*> group = renamed_together(context, start);
    const std::string& old_name = (*symbol)->name;
    for (const vorn::Symbol* s : group) {
        if (s->definition.file.empty())
            throw Refusal{"'" + s->name + "' is predefined"};
        std::string why = refusal(context, *s, new_name);
        if (!why.empty())
            throw Refusal{why};
    }
    if (!vorn::name_reads_back(role_of((*symbol)->kind), new_name))
        throw Refusal{"'" + new_name + "' does not read back as that name where it would be written"};
    // The edits by file identity, each place once: a file reached by two names is edited once.
    const std::string& folder = context.project.folder();
    std::map<std::pair<uint64_t, uint64_t>, FileRename> files;
    std::vector<std::pair<uint64_t, uint64_t>> order;
    std::set<std::tuple<uint64_t, uint64_t, uint32_t, uint32_t>> seen;
    vorn::FileSystemProvider disk;
    vorn::SourceProvider& files_of = context.files ? *context.files : disk;
    std::map<std::string, std::optional<vorn::FileId>> ids;  // each file looked up once
    for (const vorn::Location& where : places(context, group, true)) {
        std::string path = absolute_in(where.file, folder);
        auto known = ids.find(path);
        if (known == ids.end())
            known = ids.emplace(path, files_of.identify(path)).first;
        const std::optional<vorn::FileId>& id = known->second;
        if (!id)
            throw Refusal{where.file + " is not on disk: save it first"};
        const Text* text = context.file_text(path);
        if (!text || where.line == 0 || where.line > text->line_count() || where.column == 0)
            throw Refusal{"cannot read " + where.file};
        std::string_view raw = text->line(where.line - 1);
        if (raw.substr(where.column - 1, where.end_column - where.column) != old_name)
            throw Refusal{where.file + ":" + std::to_string(where.line) + " no longer holds '" + old_name +
                          "' where it was compiled"};
        if (!seen.emplace(id->device, id->inode, where.line, where.column).second)
            continue;
        auto key = std::make_pair(id->device, id->inode);
        auto [at, added] = files.try_emplace(key, FileRename{path, where, {}});
        if (added)
            order.push_back(key);
        vorn::Location range = where;
        range.file = at->second.path;
        at->second.edits.push_back(vorn::Edit{range, new_name});
    }
    // Checked before it is offered: every top script that reads an edited file, compiled in
    // memory before and after, keeps its compiled bytes and its diagnostics.
    // The project's compiles are the ones before.
    vorn::EditChecker checker(context.project.compile_options(), context.files, context.side_by_side);
    if (context.each_open)
        context.each_open([&](const std::string& path, const std::string& text) { checker.serve(path, text); });
    std::set<std::string> tops;
    for (const auto& [key, file] : files) {
        // A top script is included by no script: it reaches only itself.
        if (context.project.is_top(file.first.file))
            tops.insert(file.first.file);
        else
            for (const std::string& top : context.project.tops_reaching(file.first.file))
                tops.insert(top);
    }
    bool in_lists = in_list((*symbol)->kind);
    for (const std::string& top : in_lists ? context.project.top_scripts() : std::vector<std::string>(tops.begin(), tops.end()))
        checker.add_context(folder, top, context.project.compile_of(top));
    std::vector<vorn::FileEdit> edits;
    for (const auto& key : order) {
        const FileRename& file = files[key];
        vorn::FileId id{key.first, key.second};
        const std::string* text = checker.text(id, file.path);
        std::optional<vorn::FileEdit> edit = text ? vorn::edit_file(id, file.path, *text, file.edits) : std::nullopt;
        if (!edit)
            throw Refusal{"cannot edit " + file.first.file};
        edits.push_back(std::move(*edit));
    }
    vorn::EditPromise promise;
    promise.loose = true;
    std::string why = checker.try_edit(edits, promise);
    if (!why.empty())
        throw Refusal{"renaming '" + old_name + "' to '" + new_name + "' is refused: " + why};
    WorkspaceEdit edit;
    Locator locate(context);
    for (const auto& key : order) {
        const FileRename& file = files[key];
        for (const vorn::Edit& e : file.edits) {
            vorn::Location where = e.range;
            where.file = file.first.file;
            Location at = locate(where);
            edit.changes[at.uri].push_back(TextEdit{at.range, new_name});
        }
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
