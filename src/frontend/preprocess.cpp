#include "preprocess.h"

#include "../common/compile_state.h"

// Outside strings these end the line: a comment, or the line end itself.
static bool ends_line(char c) { return c == ';' || c == '/' || c == '\r' || c == '\n'; }

std::size_t preprocess_line(char* line) {
    bool in_string = false;
    bool escaped = false;
    char* w = line;
    for (const char* r = line; *r; ++r) {
        char c = *r;
        if (!in_string && !escaped && ends_line(c))
            break;
        if (c == '"' && !escaped) {
            c = static_cast<char>(in_string ? CloseQuoteMark : OpenQuoteMark);
            in_string = !in_string;
        }
        *w = c;
        // A backslash is never kept: the next character overwrites it and is taken as it is.
        if (c == '\\') {
            escaped = true;
        } else {
            ++w;
            escaped = false;
        }
    }
    *w = '\0';
    return static_cast<std::size_t>(w - line);
}
