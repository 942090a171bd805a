#include "stray_bytes.h"

#include <cstdint>

#include "text.h"

namespace lsp {

namespace {

// Stray byte b travels as U+10FE00 + b.
constexpr uint32_t CarriedBase = 0x10FE00;

}  // namespace

std::string carry_stray_bytes(const std::string& body) {
    std::string out;
    out.reserve(body.size() + body.size() / 8);
    const auto* p = reinterpret_cast<const unsigned char*>(body.data());
    std::size_t n = body.size();
    for (std::size_t i = 0; i < n;) {
        std::size_t length = utf8_sequence(p + i, n - i);
        // A genuine character of the carried block (F4 8F BA 80 .. F4 8F BB BF) is carried
        // byte by byte, so that restoring gives the character back, not one byte.
        if (length == 4 && p[i] == 0xF4 && p[i + 1] == 0x8F && (p[i + 2] == 0xBA || p[i + 2] == 0xBB)) {
            for (std::size_t k = 0; k < length; ++k)
                append_utf8(out, CarriedBase + p[i + k]);
            i += length;
            continue;
        }
        if (length > 0) {
            out.append(body, i, length);
            i += length;
            continue;
        }
        append_utf8(out, CarriedBase + p[i]);
        ++i;
    }
    return out;
}

void restore_stray_bytes(std::string& text) {
    // U+10FE80..U+10FEFF is F4 8F BA 80 .. F4 8F BB BF.
    std::size_t w = 0;
    for (std::size_t r = 0; r < text.size();) {
        auto c = [&](std::size_t k) { return static_cast<unsigned char>(text[r + k]); };
        if (r + 3 < text.size() && c(0) == 0xF4 && c(1) == 0x8F && (c(2) == 0xBA || c(2) == 0xBB)) {
            uint32_t point = ((c(1) & 0x3Fu) << 12) | ((c(2) & 0x3Fu) << 6) | (c(3) & 0x3Fu);
            point |= 0x100000;
            if (point >= CarriedBase + 0x80 && point <= CarriedBase + 0xFF) {
                text[w++] = static_cast<char>(point - CarriedBase);
                r += 4;
                continue;
            }
        }
        text[w++] = text[r++];
    }
    text.resize(w);
}

}  // namespace lsp
