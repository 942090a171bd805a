#include "code_buffer.h"

#include "../common/diagnostics.h"

namespace vorn {

void emit_byte(CompileState& s, uint8_t b) {
    if (s.code_pos >= CodeBufferSize)
        fail(s, DiagnosticKind::CodeTooBig, statement_span(s));
    s.code[s.code_pos++] = b;
}

void emit_word(CompileState& s, uint16_t w) {
    emit_byte(s, static_cast<uint8_t>(w));
    emit_byte(s, static_cast<uint8_t>(w >> 8));
}

void emit_number(CompileState& s, int32_t v) {
    ArgumentTag tag = number_tag(v);
    emit_byte(s, tag);
    if (tag == ArgInt8) {
        emit_byte(s, static_cast<uint8_t>(v));
    } else if (tag == ArgInt16) {
        emit_word(s, static_cast<uint16_t>(v));
    } else {
        uint32_t u = static_cast<uint32_t>(v);
        emit_word(s, static_cast<uint16_t>(u));
        emit_word(s, static_cast<uint16_t>(u >> 16));
    }
}

}  // namespace vorn
