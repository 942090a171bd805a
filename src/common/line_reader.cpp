#include "line_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "compile_state.h"
#include "source_reader.h"

namespace vorn {

static_assert(vorn::MaxPieceLength == SourceLineSize - 1);

// Walks raw as the cleaner reads it, calling keep(raw index, character) for each character
// that the cleaned line keeps; stops where the cleaned line ends, or when keep returns false.
template <typename Keep>
static const char* clean_walk(const char* raw, Keep keep) {
    Cleaner cleaner;
    const char* r = raw;
    for (;; ++r) {
        char c;
        Cleaner::Step step = cleaner.step(*r, &c);
        if (step == Cleaner::End)
            break;
        if (step == Cleaner::Keep && !keep(static_cast<std::size_t>(r - raw), c))
            break;
    }
    return r;
}

std::size_t preprocess_line(const char* raw, char* clean) {
    char* w = clean;
    clean_walk(raw, [&w](std::size_t, char c) {
        *w++ = c;
        return true;
    });
    *w = '\0';
    return static_cast<std::size_t>(w - clean);
}

std::size_t raw_offset(const char* raw, std::size_t clean_offset) {
    std::size_t kept = 0;
    std::size_t found = 0;
    bool hit = false;
    const char* stop = clean_walk(raw, [&](std::size_t at, char) {
        if (kept++ == clean_offset) {
            found = at;
            hit = true;
            return false;
        }
        return true;
    });
    return hit ? found : static_cast<std::size_t>(stop - raw);
}

void clean_line(std::string_view raw, CleanedLine& cleaned) {
    // The walk reads up to a NUL, as a compile does with the piece it has read; and a
    // compile reads nothing of a file after its end-of-file mark. A piece fits the buffer on
    // the stack; only a longer text is copied to the heap to end it with a NUL.
    std::size_t end = 0;
    while (end < raw.size() && raw[end] != '\0' && static_cast<unsigned char>(raw[end]) != EndOfFileMark)
        ++end;
    std::string_view piece = raw.substr(0, end);
    char near[SourceLineSize];
    std::string far;
    const char* walked = near;
    if (piece.size() < sizeof near) {
        // (An empty piece may have no data at all: memcpy must not be handed that.)
        std::copy(piece.begin(), piece.end(), near);
        near[piece.size()] = '\0';
    } else {
        far.assign(piece);
        walked = far.c_str();
    }
    // The cleaned line is never longer than the piece: sized once, cut to length after.
    cleaned.text.resize(piece.size());
    cleaned.raw_offsets.resize(piece.size());
    std::size_t kept = 0;
    const char* stop = clean_walk(walked, [&cleaned, &kept](std::size_t at, char c) {
        cleaned.text[kept] = c;
        cleaned.raw_offsets[kept++] = static_cast<uint32_t>(at);
        return true;
    });
    cleaned.text.resize(kept);
    cleaned.raw_offsets.resize(kept);
    cleaned.raw_end = static_cast<uint32_t>(stop - walked);
}

CleanedLine clean_line(std::string_view raw) {
    CleanedLine cleaned;
    clean_line(raw, cleaned);
    return cleaned;
}

}  // namespace vorn
