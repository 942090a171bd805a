// Document text as lines of raw bytes, and the conversions between the compiler's byte
// columns and the protocol's positions (UTF-16 code units, or UTF-8 bytes when the client
// takes them). A byte that is not part of a valid UTF-8 sequence counts as one character, as
// the U+FFFD an editor shows for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lsp {

enum class Encoding { Utf16, Utf8 };

// Length of the valid UTF-8 sequence at p (n bytes available), or 0 if p starts none.
std::size_t utf8_sequence(const unsigned char* p, std::size_t n);
bool valid_utf8(std::string_view text);
void append_utf8(std::string& out, uint32_t point);

struct Position {
    uint32_t line = 0;
    uint32_t character = 0;
};

// A text split at its line feeds. A line's bytes leave out the line feed and a CR before it.
// The bytes are immutable and shared: a project compiling the text holds the same bytes.
class Text {
public:
    Text() : bytes_(std::make_shared<const std::string>()), starts_{0} {}
    explicit Text(std::string bytes);
    const std::string& bytes() const { return *bytes_; }
    const std::shared_ptr<const std::string>& shared_bytes() const { return bytes_; }
    std::size_t line_count() const { return starts_.size(); }
    std::string_view line(std::size_t index) const;
    // Byte offset in the whole text of a position, clamped to its line and the text.
    std::size_t offset(Position position, Encoding encoding) const;

private:
    std::shared_ptr<const std::string> bytes_;
    std::vector<std::size_t> starts_;
};

// The protocol's character for a byte column of a line, and back (clamped to the line; a
// character inside a surrogate pair or a multi-byte sequence goes to the sequence's start).
uint32_t character_of(std::string_view line, std::size_t byte, Encoding encoding);
std::size_t byte_of(std::string_view line, uint32_t character, Encoding encoding);

// Converts many byte columns of one text cheaply when they come in order along a line, as a
// compile's diagnostics do (a 10 MB line with a thousand of them stays linear).
class ColumnConverter {
public:
    ColumnConverter(const Text& text, Encoding encoding) : text_(text), encoding_(encoding) {}
    // line counts from 0; byte is a 0-based byte column.
    uint32_t character(std::size_t line, std::size_t byte);

private:
    const Text& text_;
    Encoding encoding_;
    std::size_t line_ = SIZE_MAX;
    std::size_t byte_ = 0;
    uint32_t units_ = 0;
};

// Replaces the range [start, end) of text, positions in encoding, with piece; an end before
// the start counts as the start.
void apply_edit(std::string& text, Position start, Position end, std::string_view piece, Encoding encoding);

// file: URIs and paths. A URI that is not file: has no path (empty).
std::string uri_to_path(const std::string& uri);
std::string path_to_uri(const std::string& path);

}  // namespace lsp
