// The code area: statements as they are compiled, byte by byte, with their argument tags.
#pragma once

#include <cstdint>

// The tag that starts every argument in the code, and says how many bytes follow it.
enum ArgumentTag : uint8_t {
    ArgInt8 = 0,        // 1 byte, -120 to 120
    ArgInt16 = 1,       // 2 bytes, -32760 to 32760
    ArgInt32 = 2,       // 4 bytes
    ArgString = 3,      // a length byte, then that many bytes of text
    ArgVariable = 4,    // 2 bytes, a variable number
    ArgEventParam = 5,  // 1 byte, 1 to 3
    ArgCondition = 6,   // 1 byte, a condition keyword's index
};

// The widths' limits stop short of what the bytes could hold.
constexpr int32_t Int8Limit = 120;
constexpr int32_t Int16Limit = 32760;

// The longest text a string argument may hold.
constexpr int MaxStringLength = 79;

// Appends one byte; ends the run when the code area is full.
void emit_byte(uint8_t b);

// Appends a 16-bit value, low byte first.
void emit_word(uint16_t w);

// Appends a number argument in the shortest of the three widths.
void emit_number(int32_t v);
