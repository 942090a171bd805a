// Character classes of the POSIX locale, tested on the character as an unsigned byte, so
// bytes from 0x80 up are none of them whatever locale the process runs in; and the word
// helpers built on them.
#pragma once

#include <cstddef>
#include <cstring>

#include <vorn/language.h>

namespace vorn {

inline bool is_blank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool is_letter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

inline const char* skip_blanks(const char* s) {
    while (is_blank(static_cast<unsigned char>(*s)))
        ++s;
    return s;
}

inline const char* skip_word(const char* s) {
    while (*s && !is_blank(static_cast<unsigned char>(*s)))
        ++s;
    return s;
}

// Copies the run of non-blank characters at text into word (FirstWordSize bytes), cut to fit.
// Returns the length of the whole run.
inline std::size_t copy_first_word(char* word, const char* text) {
    std::size_t length = static_cast<std::size_t>(skip_word(text) - text);
    std::size_t kept = length <= MaxFirstWordLength ? length : MaxFirstWordLength;
    memcpy(word, text, kept);
    word[kept] = '\0';
    return length;
}

// Removes leading and trailing white space in place; returns how many leading characters went.
inline std::size_t trim_blanks(char* text) {
    const char* start = skip_blanks(text);
    std::size_t skipped = static_cast<std::size_t>(start - text);
    std::size_t length = strlen(start);
    memmove(text, start, length + 1);
    while (length > 0 && is_blank(static_cast<unsigned char>(text[length - 1])))
        text[--length] = '\0';
    return skipped;
}

}  // namespace vorn
