// Everything one vorn-dis run knows, passed to every stage: the compiled file as read, its
// header fields and where its statements start, the lists it names commands and events by,
// and where reports go.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include <vorn/language.h>
#include "code_walk.h"
#include "symbol_map.h"

namespace vorn::dis {

struct Disassembly {
    vorn::Lists lists;
    const char* path = {};
    // The file's first bytes; a file that passes the size checks fits here whole.
    unsigned char bytes[MaxScriptFileSize] = {};
    // The whole file's size, which may be more than bytes holds. Nothing past bytes is read:
    // for a file that is not a regular one, the size is then a lower bound.
    uint64_t size = {};
    bool size_is_lower_bound = {};

    uint16_t event_count = {};
    uint16_t place_count = {};
    uint32_t code_size = {};

    // The code, decoded once, statement by statement.
    std::vector<Statement> statements;
    // Every slot of both entry tables, events first, each table in index order.
    std::vector<EntrySlot> entries;

    // The lowest exit status of the notes made so far (0: none), and how many there were.
    int note_status = {};
    int note_count = {};

    // The symbol map given with --map, read whole and then checked against the file.
    bool has_map = {};
    std::string map_text;
    SymbolMap map;

    // Where faults and notes are reported.
    FILE* report_stream = stderr;
};

// The code area, right after the header.
inline const unsigned char* code_bytes(Disassembly& dis) { return dis.bytes + ScriptHeaderSize; }

// Reads a little-endian value of 1, 2 or 4 bytes.
inline uint32_t read_le(const unsigned char* at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

// File offsets of the entry tables' slots.
inline uint32_t event_entry_offset(Disassembly& dis, int event) {
    return static_cast<uint32_t>(ScriptHeaderSize) + dis.code_size + 2 * static_cast<uint32_t>(event);
}
inline uint32_t place_entry_offset(Disassembly& dis, int place) {
    return event_entry_offset(dis, dis.event_count) + 2 * static_cast<uint32_t>(place);
}

inline uint16_t event_entry(Disassembly& dis, int event) {
    return static_cast<uint16_t>(read_le(dis.bytes + event_entry_offset(dis, event), 2));
}
inline uint16_t place_entry(Disassembly& dis, int place) {
    return static_cast<uint16_t>(read_le(dis.bytes + place_entry_offset(dis, place), 2));
}

}  // namespace vorn::dis
