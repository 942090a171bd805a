// JSON-RPC messages over a pair of file descriptors, each framed by a Content-Length header.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <string_view>

#include "stray_bytes.h"

namespace lsp {

using nlohmann::json;

// What reading the next message gave.
enum class Read {
    Message,    // message holds a parsed JSON value
    Malformed,  // a header without a usable Content-Length, or a body that is not JSON
    TooLarge,   // a body over the limit; it was skipped
    End,        // the input closed (or failed) before a whole message
};

// One message as read: its status, its JSON value and how its body was decoded.
struct Incoming {
    Read status = Read::End;
    json message;
    // The body was not valid UTF-8: its stray bytes travel as carried code points (see
    // carry_stray_bytes) in the strings of message.
    bool stray_bytes = false;
};

class Transport {
public:
    // Bodies larger than this are skipped unread.
    static constexpr std::size_t MaxBody = 256u << 20;
    // The buffer keeps at most this much room between messages.
    static constexpr std::size_t KeptBufferBytes = 1u << 20;

    Transport(int in, int out) : in_(in), out_(out) {}

    // Blocks until a whole message, a framing fault or the end of the input. After a fault,
    // the next read first skips to the next header line, so that one bad message costs one
    // fault and the messages after it are read as sent.
    Incoming read();
    // Whether a read could go on without waiting: bytes buffered or waiting on the input.
    bool pending();
    // Writes one framed message; false once the output is gone.
    bool send(const json& message);
    // The same for a message already written out as JSON text (valid UTF-8).
    bool send_body(const std::string& body);
    bool broken() const { return broken_; }

private:
    bool fill();
    bool read_header_block(std::string& block);
    // Reads until the buffer holds length bytes from start_ on.
    bool take_body(std::size_t length);
    // After a large message, gives its room back: the reader would hold it until the end.
    void release_large_buffer();
    bool skip_body(std::size_t length);
    bool skip_to_header();

    int in_;
    int out_;
    std::string buffer_;
    std::size_t start_ = 0;
    // fill() keeps the buffer from here on: the start of the message being read.
    std::size_t mark_ = 0;
    bool at_end_ = false;
    bool broken_ = false;
    // The last message was malformed: skip to the next header line before reading on.
    bool resync_ = false;
};

// Where the next header line starts in text at or after from ("Content-Length" or
// "Content-Type" in any case, then ':'), or npos. A body is not ended by a line end, so the
// next header may follow it on the same line.
std::size_t find_header_start(std::string_view text, std::size_t from);

}  // namespace lsp
