#include "transport.h"

#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <vorn/parse_unsigned.h>
#include "text.h"

namespace lsp {

namespace {

// A header block longer than this is not a header; it is dropped as malformed.
constexpr std::size_t MaxHeaderBlock = 64 * 1024;
// A Content-Length has at most 15 digits.
constexpr uint64_t MaxContentLength = 999999999999999;
constexpr std::size_t ReadChunk = 1 << 16;
// While skipping to the next header, this much of the end of the buffer is kept across a
// read: a header name that the read cut in two.
constexpr std::size_t HeaderNameTail = 64;

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Builds the json value of a message as nlohmann's own parser does, but takes each string
// from the parser instead of copying it: a document's text, the largest part of a message,
// is not held twice at the end of its parse.
class MovingBuilder : public nlohmann::json_sax<json> {
public:
    json root;

    bool null() override { return add(nullptr); }
    bool boolean(bool value) override { return add(value); }
    bool number_integer(number_integer_t value) override { return add(value); }
    bool number_unsigned(number_unsigned_t value) override { return add(value); }
    bool number_float(number_float_t value, const string_t&) override { return add(value); }
    bool string(string_t& value) override { return add(std::move(value)); }
    bool binary(binary_t& value) override { return add(json::binary(std::move(value))); }
    bool start_object(std::size_t) override { return open(json::object()); }
    bool key(string_t& name) override {
        key_ = &(*stack_.back())[name];
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(json::array()); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    json* place(json&& value) {
        if (stack_.empty()) {
            root = std::move(value);
            return &root;
        }
        json& inner = *stack_.back();
        if (inner.is_array()) {
            inner.push_back(std::move(value));
            return &inner.back();
        }
        *key_ = std::move(value);
        return key_;
    }
    bool add(json&& value) {
        place(std::move(value));
        return true;
    }
    bool open(json&& value) {
        stack_.push_back(place(std::move(value)));
        return true;
    }
    bool close() {
        stack_.pop_back();
        return true;
    }

    std::vector<json*> stack_;
    json* key_ = nullptr;
};

// The message in body, or a discarded value when it is not JSON.
json parse_message(std::string_view body) {
    MovingBuilder builder;
    if (!json::sax_parse(body.begin(), body.end(), &builder))
        return json(json::value_t::discarded);
    return std::move(builder.root);
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The Content-Length of a header block, or -1 when it has none that can be read.
long long content_length(const std::string& block) {
    long long length = -1;
    std::size_t at = 0;
    while (at < block.size()) {
        std::size_t end = block.find('\n', at);
        if (end == std::string::npos)
            end = block.size();
        std::string_view line(block.data() + at, end - at);
        at = end + 1;
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return -1;
        if (!equals_ignoring_case(trim(line.substr(0, colon)), "Content-Length"))
            continue;
        std::optional<uint64_t> value = vorn::parse_unsigned(trim(line.substr(colon + 1)), MaxContentLength, false);
        if (!value)
            return -1;
        length = static_cast<long long>(*value);
    }
    return length;
}

}  // namespace

std::size_t find_header_start(std::string_view text, std::size_t from) {
    for (std::size_t at = from; at < text.size(); ++at) {
        if (tolower(static_cast<unsigned char>(text[at])) != 'c')
            continue;
        for (std::string_view name : {std::string_view("Content-Length"), std::string_view("Content-Type")}) {
            if (text.size() - at < name.size() || !equals_ignoring_case(text.substr(at, name.size()), name))
                continue;
            std::size_t colon = at + name.size();
            while (colon < text.size() && (text[colon] == ' ' || text[colon] == '\t'))
                ++colon;
            if (colon < text.size() && text[colon] == ':')
                return at;
        }
    }
    return std::string_view::npos;
}

bool Transport::fill() {
    if (at_end_)
        return false;
    // Drop what has been consumed before the buffer grows, keeping the message being read.
    if (mark_ > 0 && mark_ * 2 >= buffer_.size()) {
        buffer_.erase(0, mark_);
        start_ -= mark_;
        mark_ = 0;
    }
    std::size_t old = buffer_.size();
    buffer_.resize(old + ReadChunk);
    ssize_t got;
    do
        got = ::read(in_, buffer_.data() + old, ReadChunk);
    while (got < 0 && errno == EINTR);
    buffer_.resize(old + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got <= 0) {
        at_end_ = true;
        return false;
    }
    return true;
}

bool Transport::pending() {
    if (start_ < buffer_.size())
        return true;
    if (at_end_)
        return false;
    pollfd fd = {in_, POLLIN, 0};
    return poll(&fd, 1, 0) > 0;
}

// Reads header lines up to the empty line that ends them. Blank lines before a block are
// skipped; false at the end of the input.
bool Transport::read_header_block(std::string& block) {
    block.clear();
    for (;;) {
        std::size_t newline = buffer_.find('\n', start_);
        if (newline == std::string::npos) {
            if (buffer_.size() - start_ > MaxHeaderBlock) {
                // No line end in sight: drop what is there and report it.
                block.assign("X");
                start_ = buffer_.size();
                return true;
            }
            if (!fill())
                return false;
            continue;
        }
        std::string_view line(buffer_.data() + start_, newline - start_);
        start_ = newline + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty()) {
            if (block.empty())
                continue;
            return true;
        }
        if (block.size() + line.size() > MaxHeaderBlock) {
            block.assign("X");
            return true;
        }
        if (!block.empty())
            block += '\n';
        block.append(line);
    }
}

bool Transport::take_body(std::size_t length) {
    // Room for the whole body at once: a large one is read into place, not into a buffer that
    // doubles (and copies) as it grows.
    if (buffer_.size() - start_ < length) {
        buffer_.erase(0, mark_);
        start_ -= mark_;
        mark_ = 0;
        buffer_.reserve(start_ + length + ReadChunk);
    }
    while (buffer_.size() - start_ < length)
        if (!fill())
            return false;
    return true;
}

void Transport::release_large_buffer() {
    if (buffer_.capacity() <= KeptBufferBytes)
        return;
    buffer_.erase(0, start_);
    start_ = mark_ = 0;
    buffer_.shrink_to_fit();
}

bool Transport::skip_body(std::size_t length) {
    for (;;) {
        std::size_t here = std::min(length, buffer_.size() - start_);
        start_ += here;
        length -= here;
        if (length == 0)
            return true;
        buffer_.clear();
        start_ = mark_ = 0;
        if (!fill())
            return false;
    }
}

bool Transport::skip_to_header() {
    for (;;) {
        std::size_t at = find_header_start(buffer_, start_);
        if (at != std::string::npos) {
            start_ = at;
            return true;
        }
        start_ = mark_ = buffer_.size() - std::min(buffer_.size() - start_, HeaderNameTail);
        if (!fill())
            return false;
    }
}

Incoming Transport::read() {
    Incoming in;
    if (resync_) {
        resync_ = false;
        if (!skip_to_header())
            return in;
    }
    mark_ = start_;
    std::string block;
    if (!read_header_block(block))
        return in;
    long long length = content_length(block);
    if (length < 0) {
        resync_ = true;
        in.status = Read::Malformed;
        return in;
    }
    if (static_cast<unsigned long long>(length) > MaxBody) {
        in.status = skip_body(static_cast<std::size_t>(length)) ? Read::TooLarge : Read::End;
        return in;
    }
    std::size_t size = static_cast<std::size_t>(length);
    if (!take_body(size))
        return in;
    // Parsed where it lies in the buffer, not from a copy.
    std::string_view body(buffer_.data() + start_, size);
    start_ += size;
    in.message = parse_message(body);
    if (in.message.is_discarded() && !valid_utf8(body)) {
        in.message = json::parse(carry_stray_bytes(std::string(body)), nullptr, false);
        in.stray_bytes = !in.message.is_discarded();
    }
    if (!in.message.is_discarded()) {
        release_large_buffer();
        in.status = Read::Message;
        return in;
    }
    // A length longer than the body takes in the start of the next message: read on from
    // its header. Otherwise what is left of a body longer than its length is skipped.
    std::size_t inner = find_header_start(buffer_, start_ - body.size() + 1);
    if (inner < start_)
        start_ = inner;
    else
        resync_ = true;
    in.status = Read::Malformed;
    return in;
}

bool Transport::send(const json& message) {
    if (broken_)
        return false;
    // Text from scripts need not be UTF-8; what goes out must be, so such bytes show as U+FFFD.
    return send_body(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool Transport::send_body(const std::string& body) {
    if (broken_)
        return false;
    // The header and the body go out together, without copying a body of megabytes behind
    // its header first.
    std::string header = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    iovec parts[] = {{header.data(), header.size()}, {const_cast<char*>(body.data()), body.size()}};
    iovec* next = parts;
    int left = 2;
    while (left > 0) {
        ssize_t wrote = ::writev(out_, next, left);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            broken_ = true;
            return false;
        }
        auto done = static_cast<std::size_t>(wrote);
        for (; left > 0 && done >= next->iov_len; ++next, --left)
            done -= next->iov_len;
        if (left > 0) {
            next->iov_base = static_cast<char*>(next->iov_base) + done;
            next->iov_len -= done;
        }
    }
    return true;
}

}  // namespace lsp
