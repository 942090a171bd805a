#include <vorn/name_contexts.h>

#include <vorn/language.h>

namespace vorn {

namespace {

bool is_value(const Definition& definition) {
    return definition.kind == DefinitionKind::Variable || definition.kind == DefinitionKind::Constant;
}

// The index in compile.lines of the first piece of record's line at or after line; the end
// of the lines when the compile has none (it ended before).
std::size_t piece_at(const CompileResult& compile, int record, uint32_t line) {
    std::size_t from = compile.files[static_cast<std::size_t>(record)].first_piece;
    for (std::size_t i = from; i < compile.lines.size(); ++i)
        if (static_cast<int>(compile.lines[i].file) == record && compile.lines[i].line >= line)
            return i;
    return compile.lines.size();
}

// The index in compile.lines of the piece that holds definition; the end of the lines when
// there is none. Definitions come in the order the compile met them, so a search that goes on
// from the last one found is linear over a whole compile; from is that place, moved on.
std::size_t piece_of(const CompileResult& compile, const Definition& definition, std::size_t& from) {
    auto matches = [&](std::size_t i) {
        return static_cast<int>(compile.lines[i].file) == definition.source &&
               compile.lines[i].line == definition.where.line;
    };
    for (std::size_t i = from; i < compile.lines.size(); ++i)
        if (matches(i)) {
            from = i;
            return i;
        }
    for (std::size_t i = compile.files[static_cast<std::size_t>(definition.source)].first_piece;
         i < compile.lines.size() && i < from; ++i)
        if (matches(i))
            return i;
    return compile.lines.size();
}

// What name means on line of record in compile, by the definitions met before the line: the
// first variable of that name, else the first constant, as a statement resolves it.
const Definition* visible_named(const CompileResult& compile, int record, uint32_t line, const std::string& name) {
    std::size_t at = piece_at(compile, record, line);
    const Definition* constant = nullptr;
    std::size_t from = 0;
    for (const Definition& definition : compile.definitions) {
        if (!is_value(definition) || definition.name != name)
            continue;
        if (definition.source >= 0 && piece_of(compile, definition, from) >= at)
            continue;
        if (definition.kind == DefinitionKind::Variable)
            return &definition;
        if (!constant)
            constant = &definition;
    }
    return constant;
}

template <class Each>
PlaceContexts over_contexts(const Project& project, const std::string& path, uint32_t line, Each each) {
    PlaceContexts out;
    for (const ContextView& view : project.contexts_reaching(path, line)) {
        if (++out.reaching > MaxPlaceContexts || !view.result || view.source < 0)
            continue;
        each(view.top, *view.result, view.source, out.found);
    }
    return out;
}

}  // namespace

PlaceContexts name_meanings(const Project& project, const std::string& path, uint32_t line, uint32_t column,
                            const std::string& name) {
    return over_contexts(project, path, line, [&](const std::string& top, const CompileResult& compile, int record,
                                            std::vector<DefinitionInContext>& found) {
        const Definition* meaning = nullptr;
        bool resolved = false;
        // The use the compile recorded there is what it read the name as.
        for (const Use& use : compile.uses) {
            if (use.source != record || use.where.line != line || column < use.where.column ||
                column > use.where.end_column)
                continue;
            if ((use.kind == UseKind::Variable || use.kind == UseKind::Constant) && use.target >= 0 &&
                static_cast<std::size_t>(use.target) < compile.definitions.size())
                meaning = &compile.definitions[static_cast<std::size_t>(use.target)];
            resolved = true;
            break;
        }
        // The name a defvar or defnum defines.
        if (!resolved)
            for (const Definition& definition : compile.definitions)
                if (is_value(definition) && definition.source == record && definition.where.line == line &&
                    definition.name == name) {
                    meaning = &definition;
                    resolved = true;
                    break;
                }
        // A statement the compile could not read whole records no use: what the name is
        // there, by the definitions met before the line.
        if (!resolved)
            meaning = visible_named(compile, record, line, name);
        found.push_back(DefinitionInContext{top, &compile, meaning});
    });
}

PlaceContexts visible_definitions(const Project& project, const std::string& path, uint32_t line) {
    return over_contexts(project, path, line, [&](const std::string& top, const CompileResult& compile, int record,
                                            std::vector<DefinitionInContext>& found) {
        std::size_t at = piece_at(compile, record, line);
        std::size_t from = 0;
        for (const Definition& definition : compile.definitions)
            if (is_value(definition) && (definition.source < 0 || piece_of(compile, definition, from) < at))
                found.push_back(DefinitionInContext{top, &compile, &definition});
    });
}

}  // namespace vorn
