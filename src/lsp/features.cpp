#include "features.h"

#include <algorithm>
#include <optional>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include <vorn/grammar.h>
#include <vorn/language.h>
#include <vorn/line_text.h>
#include <vorn/name_contexts.h>

#include "line_view.h"

namespace lsp {

namespace {

// CompletionItemKind and SymbolKind values of the protocol.
constexpr int ItemFunction = 3, ItemVariable = 6, ItemKeyword = 14, ItemFile = 17,
              ItemEnumMember = 20, ItemConstant = 21, ItemEvent = 23;
constexpr int SymbolVariable = 13, SymbolConstant = 14, SymbolNumber = 16, SymbolEvent = 24;

// Files offered after include: this deep below the project folder, at most this many.
constexpr int IncludeSearchDepth = 4;
constexpr std::size_t IncludeSearchLimit = 500;
// The walk for them asks the provider at most this many times (a folder entry listed, or a
// file looked up, is one): on a slow file system it ends after about that much work.
constexpr std::size_t IncludeSearchEntries = 20000;
// An include name is a first word.
constexpr std::size_t MaxIncludeName = vorn::MaxFirstWordLength;
// Hover shows at most this many bytes of a statement's code.
constexpr std::size_t HoverBytes = 64;

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string hex_bytes(const std::vector<unsigned char>& code, std::size_t begin, std::size_t end) {
    std::string out;
    char byte[4];
    for (std::size_t i = begin; i < end && i - begin < HoverBytes; ++i) {
        snprintf(byte, sizeof byte, i == begin ? "%02X" : " %02X", code[i]);
        out += byte;
    }
    if (end - begin > HoverBytes)
        out += " ...";
    return out;
}

const vorn::CommandEntry* find_command(const vorn::Lists& lists, const std::string& name, int* index) {
    *index = lists.find_command(name.c_str());
    return *index < 0 ? nullptr : &lists.commands[static_cast<std::size_t>(*index)];
}


// The walk of the folders for include completion: each folder once (a symbolic link back to
// a folder already seen is not followed again), within a budget of entries.
struct ScriptWalk {
    vorn::SourceProvider& files;
    std::set<std::pair<uint64_t, uint64_t>> folders_seen;
    std::size_t entries = 0;
    bool over() const { return entries >= IncludeSearchEntries; }
};

void list_scripts(ScriptWalk& walk, const std::string& folder, const std::string& prefix, int depth,
                  std::vector<std::string>& found) {
    if (walk.over())
        return;
    vorn::FolderListing listing = walk.files.list(folder, IncludeSearchEntries - walk.entries);
    walk.entries += listing.names.size() + 1;
    std::vector<std::string>& names = listing.names;
    std::erase_if(names, [](const std::string& name) { return name[0] == '.'; });
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (found.size() >= IncludeSearchLimit || walk.over())
            return;
        std::string path = folder + "/" + name;
        ++walk.entries;
        std::optional<vorn::FileInfo> info = walk.files.stat(path);
        if (!info)
            continue;
        if (info->kind == vorn::FileKind::Folder) {
            if (depth > 0 && walk.folders_seen.insert({info->id.device, info->id.inode}).second)
                list_scripts(walk, path, prefix + name + "/", depth - 1, found);
        } else if (info->kind == vorn::FileKind::File && name.size() > 3 && name.compare(name.size() - 3, 3, ".vs") == 0) {
            found.push_back(prefix + name);
        }
    }
}

std::string where_text(const vorn::Definition& definition) {
    if (definition.where.file.empty())
        return "predefined";
    return definition.where.file + " line " + std::to_string(definition.where.line);
}

std::string value_text(const vorn::Definition& definition) {
    switch (definition.kind) {
    case vorn::DefinitionKind::Variable:
        if (const char* name = vorn::predefined_variable_name(static_cast<uint16_t>(definition.value)))
            return std::string("predefined variable ") + name + " (" +
                   hex_word(static_cast<unsigned>(definition.value), 4) + ")";
        return "variable " + std::to_string(definition.value);
    case vorn::DefinitionKind::Constant:
        return "constant " + std::to_string(definition.value) + " (16 bits: " +
               std::to_string(static_cast<uint16_t>(definition.value)) + ")";
    case vorn::DefinitionKind::EventLabel:
        return "event " + std::to_string(definition.index) + " of " + std::string(vorn::EventListFile) + ", code offset " +
               std::to_string(definition.value);
    case vorn::DefinitionKind::Place:
        return "place " + std::to_string(definition.index) + ", code offset " +
               std::to_string(definition.value);
    }
    return {};
}

// How a number argument of this value is written into the code: its tag, its width and
// its bytes, low byte first.
std::string number_encoding(int32_t value) {
    vorn::ArgumentTag tag = vorn::number_tag(value);
    int bytes = vorn::ArgumentValueBytes[tag];
    std::vector<unsigned char> code{static_cast<unsigned char>(tag)};
    for (int i = 0; i < bytes; ++i)
        code.push_back(static_cast<unsigned char>(static_cast<uint32_t>(value) >> (8 * i)));
    return std::string(vorn::ArgumentTagNames[tag]) + " (tag " + std::to_string(static_cast<int>(tag)) + "), " +
           std::to_string(8 * bytes) + "-bit: `" + hex_bytes(code, 0, code.size()) + "`";
}

// A number argument: the value the statement reads from its text, and how it is encoded.
std::string number_hover(const std::string& text) {
    std::optional<int32_t> value = vorn::argument_number(text);
    if (!value)
        return "`" + text + "`: a number beyond 32 bits: an error";
    std::string read = std::to_string(*value) == text
                           ? "number " + text
                           : "read as " + std::to_string(*value) + " (the leading decimal digits)";
    return "`" + text + "`: " + read + ", encoded as " + number_encoding(*value);
}

std::string definition_hover(const std::string& name, const vorn::Definition& definition) {
    std::string text = "`" + name + "`: " + value_text(definition) + ", defined in " + where_text(definition);
    if (definition.kind == vorn::DefinitionKind::Constant) {
        // A statement compiles a constant as the number of its stored 16 bits.
        uint16_t stored = static_cast<uint16_t>(definition.value);
        text += "\n\nStored as " + std::to_string(stored) + " (" + hex_word(stored, 4) +
                "); an argument naming it is encoded as " + number_encoding(stored);
    }
    return text;
}

std::string name_hover(const Analysis& analysis, const std::string& name) {
    int condition = vorn::find_condition(name.c_str());
    if (condition >= 0)
        return "`" + name + "`: condition keyword " + std::to_string(condition);
    const vorn::Definition* definition = analysis.value_named(name);
    if (!definition)
        return {};
    return definition_hover(name, *definition);
}

// A definition's meaning as hover and completion tell it apart: its kind, its value and where
// it is defined.
std::tuple<vorn::DefinitionKind, int32_t, std::string, uint32_t> meaning_key(const vorn::Definition& definition) {
    return {definition.kind, definition.value, definition.where.file, definition.where.line};
}

// The compiles that reach the place, and the meaning each gives the name there, grouped by
// meaning in the order first met; the unknown ones last.
struct MeaningGroup {
    const vorn::Definition* definition;  // nullptr: the name is unknown there
    std::vector<std::string> contexts;
};

std::vector<MeaningGroup> group_meanings(const vorn::PlaceContexts& place) {
    std::vector<MeaningGroup> groups;
    MeaningGroup unknown{nullptr, {}};
    for (const vorn::DefinitionInContext& found : place.found) {
        if (!found.definition) {
            unknown.contexts.push_back(found.context);
            continue;
        }
        auto same = std::find_if(groups.begin(), groups.end(), [&](const MeaningGroup& group) {
            return meaning_key(*group.definition) == meaning_key(*found.definition);
        });
        if (same == groups.end())
            groups.push_back(MeaningGroup{found.definition, {found.context}});
        else
            same->contexts.push_back(found.context);
    }
    if (!unknown.contexts.empty())
        groups.push_back(std::move(unknown));
    return groups;
}

// A name of a shared file whose includers read it differently: each meaning and the compiles
// that give it, and those where the name is unknown.
std::string meanings_hover(const std::string& name, const std::vector<MeaningGroup>& groups, std::size_t reaching,
                           std::size_t looked_at) {
    std::string text = "`" + name + "` differs between the compiles that reach this line:";
    for (const MeaningGroup& group : groups) {
        text += "\n- ";
        if (group.definition)
            text += value_text(*group.definition) + ", defined in " + where_text(*group.definition);
        else
            text += "unknown";
        text += " (" + vorn::contexts_note(group.contexts) + ")";
    }
    if (reaching > looked_at)
        text += "\n\n(the first " + std::to_string(looked_at) + " of " + std::to_string(reaching) + " compiles)";
    return text;
}

std::string project_name_hover(const FeatureContext& context, const std::string& name, Position position,
                               std::size_t column) {
    if (vorn::find_condition(name.c_str()) >= 0)
        return name_hover(context.analysis, name);
    vorn::PlaceContexts place = vorn::name_meanings(*context.project, context.path, position.line + 1,
                                                    static_cast<uint32_t>(column + 1), name);
    std::vector<MeaningGroup> groups = group_meanings(place);
    if (groups.empty())
        return name_hover(context.analysis, name);
    if (groups.size() > 1)
        return meanings_hover(name, groups, place.reaching, place.found.size());
    if (!groups[0].definition)
        return {};
    return definition_hover(name, *groups[0].definition);
}

// The variables and constants that some compile reaching the line has met before it, one item
// per name; its detail says what the name is and where it is defined, in each compile that
// gives it a meaning of its own.
template <class Item>
void value_items(const FeatureContext& context, Position position, Item& item) {
    vorn::PlaceContexts place = vorn::visible_definitions(*context.project, context.path, position.line + 1);
    std::vector<std::string> names;
    std::map<std::string, std::vector<const vorn::Definition*>> meanings;
    for (const vorn::DefinitionInContext& found : place.found) {
        std::vector<const vorn::Definition*>& list = meanings[found.definition->name];
        if (list.empty())
            names.push_back(found.definition->name);
        if (std::none_of(list.begin(), list.end(), [&](const vorn::Definition* known) {
                return meaning_key(*known) == meaning_key(*found.definition);
            }))
            list.push_back(found.definition);
    }
    for (const std::string& name : names) {
        const std::vector<const vorn::Definition*>& list = meanings[name];
        std::string detail;
        for (const vorn::Definition* definition : list) {
            if (!detail.empty())
                detail += "; ";
            detail += value_text(*definition);
            if (!definition->where.file.empty())
                detail += ", defined in " + where_text(*definition);
        }
        bool variable = list.front()->kind == vorn::DefinitionKind::Variable;
        item(name, variable ? ItemVariable : ItemConstant, detail, name, false);
    }
}

}  // namespace

std::string hex_word(unsigned value, int digits) {
    char text[16];
    snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

json range_json(uint32_t line, uint32_t start, uint32_t end) { return line_range(line, start, end); }

Range range_of(const Text* text, const vorn::Location& where, Encoding encoding) {
    uint32_t line = where.line > 0 ? where.line - 1 : 0;
    if (!text)
        return line_range(line, where.column > 0 ? where.column - 1 : 0, where.column > 0 ? where.end_column - 1 : 0);
    std::string_view raw = text->line(line);
    if (where.line == 0)
        return line_range(0, 0, 0);
    if (where.column == 0)
        return line_range(line, 0, character_of(raw, raw.size(), encoding));
    return line_range(line, character_of(raw, where.column - 1, encoding),
                      character_of(raw, std::max(where.end_column, where.column) - 1, encoding));
}

CompletionList completion(const FeatureContext& context, Position position) {
    CompletionList list;
    std::string_view line = context.text.line(position.line);
    std::size_t byte = byte_of(line, position.character, context.encoding);
    CursorContext cursor = context_at(line, byte);
    uint32_t from = character_of(line, cursor.word_begin, context.encoding);
    auto item = [&](const std::string& label, int kind, const std::string& detail, const std::string& insert,
                    bool snippet) {
        CompletionItem entry{label, kind, detail, TextEdit{line_range(position.line, from, position.character), insert},
                             snippet, std::nullopt};
        if (insert != label)
            entry.filter_text = insert;
        list.items.push_back(std::move(entry));
    };
    const vorn::Lists& lists = context.analysis.result->lists;
    switch (cursor.slot) {
    case Slot::None:
        break;
    case Slot::LineStart:
        item(vorn::DefvarWord, ItemKeyword, "defvar NAME NUMBER: a variable, 0 to " + std::to_string(vorn::MaxDefvarNumber), "defvar ", false);
        item(vorn::DefnumWord, ItemKeyword, "defnum NAME NUMBER: a constant of 16 bits", "defnum ", false);
        item(vorn::IncludeWord, ItemKeyword, "include FILE: compiles another file here", "include ", false);
        for (std::size_t i = 0; i < lists.events.size(); ++i) {
            std::string label = std::string(lists.events[i].name) + vorn::EventLabelEnd;
            item(label, ItemEvent, "event " + std::to_string(i) + " of " + std::string(vorn::EventListFile), label, false);
        }
        break;
    case Slot::Command:
        for (std::size_t i = 0; i < lists.commands.size(); ++i) {
            const vorn::CommandEntry& command = lists.commands[i];
            std::string name = command.name;
            std::string detail = plural(command.arg_count, "argument", "arguments");
            if (!context.snippets || cursor.paren_follows) {
                item(name, ItemFunction, detail, name, false);
                continue;
            }
            std::string snippet = name + "(";
            for (int a = 1; a <= command.arg_count; ++a)
                snippet += (a > 1 ? ", ${" : "${") + std::to_string(a) + ":arg" + std::to_string(a) + "}";
            snippet += ")$0";
            item(name, ItemFunction, detail, snippet, true);
        }
        break;
    case Slot::Argument: {
        for (int i = 0; i < vorn::ConditionKeywordCount; ++i)
            item(vorn::ConditionKeywordTable[i], ItemEnumMember, "condition " + std::to_string(i),
                 vorn::ConditionKeywordTable[i], false);
        if (context.project) {
            value_items(context, position, item);
            break;
        }
        std::set<std::string> seen;
        for (const vorn::Definition& definition : context.analysis.result->definitions) {
            bool variable = definition.kind == vorn::DefinitionKind::Variable;
            if (!variable && definition.kind != vorn::DefinitionKind::Constant)
                continue;
            // The predefined ones, and what the lines above this one define.
            if (!definition.where.file.empty()) {
                uint32_t at = context.analysis.document_line(definition.source, definition.where.line);
                if (at == 0 || at > position.line)
                    continue;
            }
            if (!seen.insert(definition.name).second)
                continue;
            item(definition.name, variable ? ItemVariable : ItemConstant, value_text(definition),
                 definition.name, false);
        }
        break;
    }
    case Slot::IncludeName: {
        std::vector<std::string> scripts;
        if (!context.analysis.project.empty() && context.files) {
            ScriptWalk walk{*context.files, {}, 0};
            if (std::optional<vorn::FileInfo> top = context.files->stat(context.analysis.project))
                walk.folders_seen.insert({top->id.device, top->id.inode});
            list_scripts(walk, context.analysis.project, "", IncludeSearchDepth, scripts);
        }
        for (const std::string& script : scripts) {
            if (script == context.analysis.script || script.size() > MaxIncludeName || !vorn::word_spellable(script))
                continue;
            item(script, ItemFile, "script file", vorn::spell_word(script), false);
        }
        break;
    }
    }
    return list;
}

std::optional<Hover> hover(const FeatureContext& context, Position position) {
    std::string_view line = context.text.line(position.line);
    std::size_t byte = byte_of(line, position.character, context.encoding);
    Token token = token_at(line, byte);
    const Analysis& analysis = context.analysis;
    std::vector<std::string> parts;
    switch (token.kind) {
    case TokenKind::None:
    case TokenKind::Directive:
        break;
    case TokenKind::Command: {
        int index;
        if (const vorn::CommandEntry* command = find_command(analysis.result->lists, token.text, &index))
            parts.push_back("`" + token.text + "`: command " + std::to_string(index) +
                            " of " + std::string(vorn::CommandListFile) + " (byte " + hex_word(static_cast<unsigned>(index), 2) + "), " +
                            plural(command->arg_count, "argument", "arguments"));
        else
            parts.push_back("`" + token.text + "`: not in " + std::string(vorn::CommandListFile));
        break;
    }
    case TokenKind::Argument:
    case TokenKind::DefinedName: {
        bool number = token.kind == TokenKind::Argument && token.form == vorn::ArgumentForm::Number;
        std::string text = number                ? number_hover(token.text)
                           : context.project ? project_name_hover(context, token.text, position, token.begin)
                                             : name_hover(analysis, token.text);
        if (!text.empty())
            parts.push_back(text);
        break;
    }
    case TokenKind::IncludeName:
        parts.push_back("`" + token.text + "`: " + absolute_in(token.text, analysis.project));
        break;
    case TokenKind::EventLabel:
    case TokenKind::PlaceLabel: {
        auto kind = token.kind == TokenKind::EventLabel ? vorn::DefinitionKind::EventLabel
                                                        : vorn::DefinitionKind::Place;
        for (const vorn::Definition& definition : analysis.result->definitions)
            if (definition.kind == kind && definition.source == analysis.top &&
                definition.where.line == position.line + 1) {
                std::string name = kind == vorn::DefinitionKind::Place ? "place " + definition.name
                                                                        : "`" + definition.name + "`";
                parts.push_back(name + ": " + value_text(definition));
            }
        break;
    }
    case TokenKind::Statement:
        break;
    }
    bool statement = token.kind == TokenKind::Command || token.kind == TokenKind::Argument ||
                     token.kind == TokenKind::Statement;
    if (statement)
        if (const vorn::LineRecord* record = analysis.line_record(position.line + 1, token.piece)) {
            if (record->code_end > record->code_begin)
                parts.push_back("Code offset " + std::to_string(record->code_begin) + " (" +
                                hex_word(record->code_begin, 4) + "), " +
                                plural(record->code_end - record->code_begin, "byte", "bytes") + ": `" +
                                hex_bytes(analysis.result->code, record->code_begin, record->code_end) + "`");
            else
                parts.push_back("Code offset " + std::to_string(record->code_begin) + ": no code");
        }
    if (parts.empty())
        return std::nullopt;
    std::string value;
    for (const std::string& part : parts)
        value += (value.empty() ? "" : "\n\n") + part;
    uint32_t start = character_of(line, token.begin, context.encoding);
    uint32_t end = character_of(line, token.end, context.encoding);
    return Hover{MarkupContent{"markdown", value}, line_range(position.line, start, end)};
}

std::vector<Location> definition(const FeatureContext& context, Position position) {
    std::string_view line = context.text.line(position.line);
    Token token = token_at(line, byte_of(line, position.character, context.encoding));
    const Analysis& analysis = context.analysis;
    if (analysis.project.empty())
        return {};
    if (token.kind == TokenKind::IncludeName) {
        std::string path = absolute_in(token.text, analysis.project);
        if (!(context.files && context.files->stat(path)) && !context.file_text(path))
            return {};
        return {Location{path_to_uri(path), line_range(0, 0, 0)}};
    }
    if (token.kind != TokenKind::Argument && token.kind != TokenKind::DefinedName)
        return {};
    std::vector<Location> found;
    auto add = [&](const vorn::Definition& definition) {
        if (definition.source < 0 || definition.where.file.empty())
            return;
        std::string path = absolute_in(definition.where.file, analysis.project);
        Location at{path_to_uri(path), range_of(context.file_text(path), definition.where, context.encoding)};
        if (std::find(found.begin(), found.end(), at) == found.end())
            found.push_back(std::move(at));
    };
    if (context.project) {
        // Every place a compile that reaches the line defines the name.
        vorn::PlaceContexts place = vorn::name_meanings(*context.project, context.path, position.line + 1,
                                                        static_cast<uint32_t>(token.begin + 1), token.text);
        for (const vorn::DefinitionInContext& meaning : place.found)
            if (meaning.definition)
                add(*meaning.definition);
        if (!place.found.empty())
            return found;
    }
    if (const vorn::Definition* only = analysis.value_named(token.text))
        add(*only);
    return found;
}

std::vector<DocumentSymbol> document_symbols(const FeatureContext& context) {
    std::vector<DocumentSymbol> symbols;
    for (const vorn::Definition& definition : context.analysis.result->definitions) {
        if (definition.source != context.analysis.top || definition.where.line == 0)
            continue;
        int kind = SymbolNumber;
        switch (definition.kind) {
        case vorn::DefinitionKind::Variable: kind = SymbolVariable; break;
        case vorn::DefinitionKind::Constant: kind = SymbolConstant; break;
        case vorn::DefinitionKind::EventLabel: kind = SymbolEvent; break;
        case vorn::DefinitionKind::Place: kind = SymbolNumber; break;
        }
        std::string_view line = context.text.line(definition.where.line - 1);
        Range selection = range_of(&context.text, definition.where, context.encoding);
        Range whole = line_range(definition.where.line - 1, 0, character_of(line, line.size(), context.encoding));
        std::string name = definition.kind == vorn::DefinitionKind::EventLabel ? definition.name + ":"
                                                                                : definition.name;
        symbols.push_back(DocumentSymbol{name, kind, value_text(definition), whole, selection});
    }
    return symbols;
}

std::optional<SignatureHelp> signature_help(const FeatureContext& context, Position position) {
    std::string_view line = context.text.line(position.line);
    CursorContext cursor = context_at(line, byte_of(line, position.character, context.encoding));
    int index;
    const vorn::CommandEntry* command =
        cursor.in_call ? find_command(context.analysis.result->lists, cursor.command, &index) : nullptr;
    if (!command)
        return std::nullopt;
    SignatureInformation signature;
    std::string& label = signature.label;
    label = cursor.command + "(";
    for (int a = 1; a <= command->arg_count; ++a) {
        if (a > 1)
            label += ", ";
        std::string name = "arg" + std::to_string(a);
        label += name;
        signature.parameters.push_back(ParameterInformation{name});
    }
    label += ")";
    signature.documentation = "command " + std::to_string(index) + " of " + std::string(vorn::CommandListFile) + ", " +
                              plural(command->arg_count, "argument", "arguments");
    // Past the last argument nothing is active: the statement has too many.
    int active = cursor.argument < command->arg_count ? cursor.argument : command->arg_count;
    signature.active_parameter = active;
    return SignatureHelp{{std::move(signature)}, 0, active};
}

}  // namespace lsp
