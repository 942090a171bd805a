// The uses of names, recorded as the compiler resolves them (CompileOptions::record_uses).
// Every call stands behind a test of CompileState::uses, so that a compile that does not
// record them pays one branch per name.
#pragma once

#include <cstdint>
#include <vector>

#include "../common/compile_state.h"
#include "../common/diagnostics.h"

namespace vorn {

// Which Definition each table entry was recorded as: the tables only keep names and values.
struct UseRecorder {
    std::vector<int32_t> variables;
    std::vector<int32_t> constants;
    // How far result.definitions has been read into the two vectors above.
    std::size_t definitions_seen = 0;
};

// A name of the current line that resolved: a condition keyword (target: its index), a
// command (its index in the command list) or an event (its index in the event list).
[[gnu::cold]] void note_use(CompileState& s, vorn::UseKind kind, int32_t target, Span span);

// A name that resolved to entry index of the variable or the constant table.
[[gnu::cold]] void note_value_use(CompileState& s, vorn::UseKind kind, int index, Span span);

// The include line of the file that just opened file (the innermost open one).
[[gnu::cold]] void note_include(CompileState& s, const SourceFile* file, Span name);

}  // namespace vorn
