// The code area: statements as they are compiled, byte by byte, with their argument tags.
#pragma once

#include <cstdint>

#include "../common/compile_state.h"
#include <vorn/language.h>

namespace vorn {

// Appends one byte; ends the run when the code area is full.
void emit_byte(CompileState& s, uint8_t b);

// Appends a 16-bit value, low byte first.
void emit_word(CompileState& s, uint16_t w);

// Appends a number argument in the shortest of the three widths.
void emit_number(CompileState& s, int32_t v);

}  // namespace vorn
