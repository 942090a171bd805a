#include "number.h"

#include "char_class.h"

namespace vorn {

// The compiler's own reading of a number, on the path of every argument: a hand loop that
// saturates as it goes, measurably cheaper here than handing the digits to parse_unsigned.
// at_end(s) tells where the text ends before its NUL, if it does.
template <typename AtEnd>
static inline NumberRead read_digits(const char** text, int32_t* value, AtEnd at_end) {
    const char* s = *text;
    bool negative = false;
    if (!at_end(s) && (*s == '-' || *s == '+')) {
        negative = *s == '-';
        ++s;
    }
    if (at_end(s) || !is_digit(static_cast<unsigned char>(*s)))
        return NumberRead::None;
    // Accumulate as a magnitude that stops growing once it is past any 32-bit value.
    const int64_t limit = negative ? INT64_C(2147483648) : INT64_C(2147483647);
    int64_t magnitude = 0;
    bool too_big = false;
    for (; !at_end(s) && is_digit(static_cast<unsigned char>(*s)); ++s) {
        magnitude = magnitude * 10 + (*s - '0');
        if (magnitude > limit) {
            too_big = true;
            magnitude = limit;
        }
    }
    *text = s;
    if (too_big)
        return NumberRead::OutOfRange;
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return NumberRead::Ok;
}

NumberRead read_number(const char** text, int32_t* value) {
    return read_digits(text, value, [](const char*) { return false; });
}

NumberRead read_number(const char** text, const char* end, int32_t* value) {
    return read_digits(text, value, [end](const char* s) { return s == end; });
}

}  // namespace vorn
