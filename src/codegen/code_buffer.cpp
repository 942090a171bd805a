#include "code_buffer.h"

#include "../common/compile_state.h"
#include "../common/exit_status.h"
#include "../common/messages.h"
#include "codegen_messages.h"

void emit_byte(uint8_t b) {
    if (state.code_pos >= CodeBufferSize)
        fatal(ExitCodeTooBig, MSG_CODE_TOO_BIG);
    state.code[state.code_pos++] = b;
}

void emit_word(uint16_t w) {
    emit_byte(static_cast<uint8_t>(w));
    emit_byte(static_cast<uint8_t>(w >> 8));
}

void emit_number(int32_t v) {
    if (v >= -Int8Limit && v <= Int8Limit) {
        emit_byte(ArgInt8);
        emit_byte(static_cast<uint8_t>(v));
    } else if (v >= -Int16Limit && v <= Int16Limit) {
        emit_byte(ArgInt16);
        emit_word(static_cast<uint16_t>(v));
    } else {
        uint32_t u = static_cast<uint32_t>(v);
        emit_byte(ArgInt32);
        emit_word(static_cast<uint16_t>(u));
        emit_word(static_cast<uint16_t>(u >> 16));
    }
}
