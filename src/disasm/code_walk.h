// Walking the code area statement by statement, with the command list telling how many
// arguments each statement has.
#pragma once

#include <cstdint>

#include <vorn/language.h>

namespace vorn::dis {

struct Disassembly;


struct Argument {
    uint8_t tag;
    // The number, variable, parameter or condition; a string's length.
    int64_t value;
    // Code offset of the tag; a string's text starts 2 bytes after it.
    uint32_t offset;
};

struct Statement {
    uint32_t offset;
    uint32_t size;
    uint8_t command;
    int arg_count;
    Argument args[MaxArguments];
};

// One slot of an entry table: the code offset an event or a place enters at.
struct EntrySlot {
    bool is_event;
    int index;
    uint16_t target;
    // Where the slot is in the file.
    uint32_t file_offset;
};

enum class DecodeResult { Ok, UnknownCommand, UnknownTag, Cut, BadValue };

// Decodes the statement at a code offset. On a fault, arg_count is the index of the argument
// at fault and *fault_at is the code offset of the byte at fault.
DecodeResult decode_statement(Disassembly& dis, uint32_t offset, Statement* statement, uint32_t* fault_at);

// Decodes the whole code into the state's statements; ends the run at the first fault.
void check_code(Disassembly& dis);

// Reads both entry tables into the state's entries and checks that every entry lies within
// the code; ends the run at the first that does not.
void check_entries(Disassembly& dis);

}  // namespace vorn::dis
