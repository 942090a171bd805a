// Where the text vorn prints goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vorn {

// What vorn prints, by kind: trace lines ("Loaded 3 events", "Compiling x.vs:", "place: 1"),
// the echo of each cleaned line ("[...]" and a line end) and the diagnostics' texts.
enum class OutputKind : uint8_t { Trace, Echo, Message };

// Takes everything a compile prints, piece by piece, in order: exactly what vorn prints, line
// end included where there is one. An echo is one piece: "[", the cleaned line, "]\n".
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void write(OutputKind kind, std::string_view text) = 0;
};

// A sink with a buffer of its own, for a tool that prints a compile's output as it comes (as
// vorn does, every cleaned line): the compile copies short pieces straight into the buffer,
// without a call per piece, and hands the sink only what does not fit. A compile sees once, at
// its start, whether its sink is one of these.
class BufferedSink : public OutputSink {
public:
    void write(OutputKind kind, std::string_view text) final {
        char* at = claim(text.size());
        if (!at)
            return put(kind, text);
        if (text.size() <= ShortPiece) {
            for (std::size_t i = 0; i < text.size(); ++i)
                at[i] = text[i];
        } else {
            memcpy(at, text.data(), text.size());
        }
    }

    // The next size bytes of the buffer, for the caller to fill; nullptr when they do not fit
    // (the caller then sends the piece with write()).
    char* claim(std::size_t size) {
        if (size > room_)
            return nullptr;
        char* at = next_;
        next_ += size;
        room_ -= size;
        return at;
    }

    // Pieces up to this long are copied byte by byte: cheaper than a call to memcpy.
    static constexpr std::size_t ShortPiece = 16;

protected:
    // Takes a piece that does not fit what is left of the buffer.
    virtual void put(OutputKind kind, std::string_view text) = 0;

    // Gives the sink a buffer to fill from next on, with room bytes free.
    void set_buffer(char* next, std::size_t room) {
        next_ = next;
        room_ = room;
    }
    char* buffer_next() const { return next_; }

private:
    char* next_ = nullptr;
    std::size_t room_ = 0;
};

// Drops everything.
class NullSink : public OutputSink {
public:
    void write(OutputKind, std::string_view) override {}
};

// Keeps every piece of output in order.
class RecordingSink : public OutputSink {
public:
    struct Piece {
        OutputKind kind;
        std::string text;
    };
    std::vector<Piece> pieces;
    // Everything, as vorn would print it.
    std::string text() const;

    void write(OutputKind kind, std::string_view text) override;
};

}  // namespace vorn
