#include "script_file.h"

#include <cstring>

#include "../common/exit_status.h"
#include "../common/messages.h"
#include "../common/output_file.h"
#include "codegen_messages.h"

// 1 + the index of the last slot that a label set, or 0 if none is set.
static uint16_t used_entries(const uint16_t* table) {
    for (int i = EntryTableSize; i > 0; --i)
        if (table[i - 1] != NoEntry)
            return static_cast<uint16_t>(i);
    return 0;
}

static unsigned char* put_word(unsigned char* at, uint16_t w) {
    at[0] = static_cast<unsigned char>(w);
    at[1] = static_cast<unsigned char>(w >> 8);
    return at + 2;
}

static unsigned char* put_entries(unsigned char* at, const uint16_t* table, uint16_t count) {
    for (uint16_t i = 0; i < count; ++i)
        at = put_word(at, table[i]);
    return at;
}

std::size_t compose_script_file(unsigned char* file) {
    uint16_t events = used_entries(state.event_entries);
    uint16_t places = used_entries(state.place_table);
    uint32_t code_size = state.code_pos;
    memset(file, 0, ScriptHeaderSize);
    put_word(file + EventCountOffset, events);
    put_word(file + PlaceCountOffset, places);
    put_word(put_word(file + CodeSizeOffset, static_cast<uint16_t>(code_size)),
             static_cast<uint16_t>(code_size >> 16));
    unsigned char* at = file + ScriptHeaderSize;
    memcpy(at, state.code, code_size);
    at = put_entries(at + code_size, state.event_entries, events);
    at = put_entries(at, state.place_table, places);
    return static_cast<std::size_t>(at - file);
}

void write_script_file(const char* path) {
    if (state.output_is_input)
        fatal(ExitCannotWriteOutput, MSG_OUTPUT_IS_INPUT, path);
    static unsigned char file[MaxScriptFileSize];
    std::size_t size = compose_script_file(file);
    switch (write_output_file(path, file, size)) {
    case OutputWrite::Written:
        return;
    case OutputWrite::CannotOpen:
        fatal(ExitCannotWriteOutput, MSG_CANNOT_OPEN_OUTPUT, path);
    case OutputWrite::CannotWrite:
        fatal(ExitCannotWriteOutput, MSG_CANNOT_WRITE_OUTPUT, path);
    }
}
