#include "number.h"

#include <string_view>

#include <vorn/files.h>
#include "char_class.h"

namespace vorn {

NumberRead read_number(const char** text, int32_t* value) {
    const char* s = *text;
    bool negative = false;
    if (*s == '-' || *s == '+') {
        negative = *s == '-';
        ++s;
    }
    if (!is_digit(static_cast<unsigned char>(*s)))
        return NumberRead::None;
    // Every digit is read, however many there are; the magnitude decides the range.
    const char* end = s + 1;
    while (is_digit(static_cast<unsigned char>(*end)))
        ++end;
    *text = end;
    const uint64_t limit = negative ? UINT64_C(2147483648) : UINT64_C(2147483647);
    std::optional<uint64_t> magnitude =
        parse_unsigned(std::string_view(s, static_cast<std::size_t>(end - s)), limit, false);
    if (!magnitude)
        return NumberRead::OutOfRange;
    *value = static_cast<int32_t>(negative ? 0 - *magnitude : *magnitude);
    return NumberRead::Ok;
}

}  // namespace vorn
