#include "uses.h"

#include <cstring>

#include "../common/source_reader.h"

namespace vorn {

void note_use(CompileState& s, vorn::UseKind kind, int32_t target, Span span) {
    s.result.uses.push_back(vorn::Use{kind, target, location_of(s, span), current_source(s), s.code_pos});
}

// Definitions are recorded in the order the tables fill, so the n-th variable definition is
// entry n of the variable table; the definitions recorded since the last look are sorted in.
static int32_t definition_of(CompileState& s, vorn::UseKind kind, int index) {
    UseRecorder& r = *s.uses;
    const std::vector<vorn::Definition>& definitions = s.result.definitions;
    for (; r.definitions_seen < definitions.size(); ++r.definitions_seen) {
        vorn::DefinitionKind seen = definitions[r.definitions_seen].kind;
        int32_t at = static_cast<int32_t>(r.definitions_seen);
        if (seen == vorn::DefinitionKind::Variable)
            r.variables.push_back(at);
        else if (seen == vorn::DefinitionKind::Constant)
            r.constants.push_back(at);
    }
    const std::vector<int32_t>& table = kind == vorn::UseKind::Variable ? r.variables : r.constants;
    return static_cast<std::size_t>(index) < table.size() ? table[static_cast<std::size_t>(index)] : -1;
}

void note_value_use(CompileState& s, vorn::UseKind kind, int index, Span span) {
    note_use(s, kind, definition_of(s, kind, index), span);
}

void note_include(CompileState& s, const SourceFile* file, Span name) {
    // The name stands on the includer's line, one down the stack.
    SourceFile* inner = s.open_files;
    s.open_files = file->outer;
    vorn::Use use{vorn::UseKind::Include, static_cast<int32_t>(file->index), location_of(s, name),
                  current_source(s), s.code_pos};
    s.open_files = inner;
    s.result.uses.push_back(std::move(use));
}

}  // namespace vorn
