// Character classes of the POSIX locale, tested on the character as an unsigned byte, so
// bytes from 0x80 up are none of them whatever locale the process runs in.
#pragma once

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
