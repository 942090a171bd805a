#include "text.h"

#include <algorithm>

namespace lsp {

std::size_t utf8_sequence(const unsigned char* p, std::size_t n) {
    if (n == 0)
        return 0;
    unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t length;
    uint32_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        length = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;  // no overlong forms
        if (c == 0xED)
            high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        if (c == 0xF4)
            high = 0x8F;  // nothing past U+10FFFF
    } else
        return 0;
    if (n < length || p[1] < low || p[1] > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return length;
}

bool valid_utf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t length = utf8_sequence(p + i, text.size() - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

void append_utf8(std::string& out, uint32_t point) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

namespace {

// Steps over one character at p: its bytes, and its UTF-16 units.
struct Step {
    std::size_t bytes;
    uint32_t units;
};

Step step(const unsigned char* p, std::size_t n) {
    std::size_t length = utf8_sequence(p, n);
    if (length == 0)
        return {1, 1};
    return {length, length == 4 ? 2u : 1u};
}

}  // namespace

Text::Text(std::string bytes) {
    // A text parsed out of a message comes with the parser's room to grow, up to as much
    // again as it holds; it is kept as long as the document is open.
    if (bytes.capacity() - bytes.size() > bytes.size() / 4)
        bytes.shrink_to_fit();
    bytes_ = std::make_shared<const std::string>(std::move(bytes));
    const std::string& all = *bytes_;
    starts_.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
    starts_.push_back(0);
    for (std::size_t at = all.find('\n'); at != std::string::npos; at = all.find('\n', at + 1))
        starts_.push_back(at + 1);
}

std::string_view Text::line(std::size_t index) const {
    if (index >= starts_.size())
        return {};
    std::size_t begin = starts_[index];
    std::size_t end = index + 1 < starts_.size() ? starts_[index + 1] - 1 : bytes_->size();
    if (end > begin && (*bytes_)[end - 1] == '\r')
        --end;
    return std::string_view(*bytes_).substr(begin, end - begin);
}

std::size_t Text::offset(Position position, Encoding encoding) const {
    if (position.line >= starts_.size())
        return bytes_->size();
    return starts_[position.line] + byte_of(line(position.line), position.character, encoding);
}

uint32_t character_of(std::string_view line, std::size_t byte, Encoding encoding) {
    byte = std::min(byte, line.size());
    if (encoding == Encoding::Utf8)
        return static_cast<uint32_t>(byte);
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    uint32_t units = 0;
    for (std::size_t i = 0; i < byte;) {
        Step s = step(p + i, line.size() - i);
        i += s.bytes;
        units += s.units;
    }
    return units;
}

std::size_t byte_of(std::string_view line, uint32_t character, Encoding encoding) {
    if (encoding == Encoding::Utf8)
        return std::min<std::size_t>(character, line.size());
    const auto* p = reinterpret_cast<const unsigned char*>(line.data());
    uint32_t units = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        Step s = step(p + i, line.size() - i);
        if (units + s.units > character)
            break;
        units += s.units;
        i += s.bytes;
    }
    return i;
}

uint32_t ColumnConverter::character(std::size_t line, std::size_t byte) {
    std::string_view text = text_.line(line);
    byte = std::min(byte, text.size());
    if (encoding_ == Encoding::Utf8)
        return static_cast<uint32_t>(byte);
    if (line != line_ || byte < byte_) {
        line_ = line;
        byte_ = 0;
        units_ = 0;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    while (byte_ < byte) {
        Step s = step(p + byte_, text.size() - byte_);
        byte_ += s.bytes;
        units_ += s.units;
    }
    return units_;
}

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string uri_to_path(const std::string& uri) {
    static const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0)
        return {};
    std::size_t at = scheme.size();
    // file://host/path: only an empty host or localhost names this machine.
    std::size_t slash = uri.find('/', at);
    if (slash == std::string::npos)
        return {};
    std::string host = uri.substr(at, slash - at);
    if (!host.empty() && host != "localhost")
        return {};
    std::string path;
    for (std::size_t i = slash; i < uri.size(); ++i) {
        char c = uri[i];
        if (c == '?' || c == '#')
            break;
        if (c == '%' && i + 2 < uri.size() && hex_value(uri[i + 1]) >= 0 && hex_value(uri[i + 2]) >= 0) {
            path += static_cast<char>(hex_value(uri[i + 1]) * 16 + hex_value(uri[i + 2]));
            i += 2;
        } else {
            path += c;
        }
    }
    if (path.find('\0') != std::string::npos)
        return {};
    return path;
}

std::string path_to_uri(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '/' || c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

void apply_edit(std::string& text, Position start, Position end, std::string_view piece, Encoding encoding) {
    Text current(text);
    std::size_t begin = current.offset(start, encoding);
    std::size_t stop = std::max(begin, current.offset(end, encoding));
    text.replace(begin, stop - begin, piece);
}

}  // namespace lsp
