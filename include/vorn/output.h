// Where the text vorn prints goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vorn {

// What vorn prints, by kind: trace lines ("Loaded 3 events", "Compiling x.vs:", "place: 1"),
// the echo of each cleaned line ("[...]" and a line end) and the diagnostics' texts.
enum class OutputKind : uint8_t { Trace, Echo, Message };

class OutputSink {
public:
    virtual ~OutputSink() = default;

    // Sends text, exactly what vorn prints, line end included where there is one. Most
    // pieces are short echoes, so while they fit the sink's buffer (if it has one) they are
    // copied there inline; the rest goes to put().
    void write(OutputKind kind, const char* text, std::size_t length) {
        if (length > room_)
            return put(kind, text, length);
        if (length <= ShortPiece) {
            for (std::size_t i = 0; i < length; ++i)
                next_[i] = text[i];
        } else {
            memcpy(next_, text, length);
        }
        next_ += length;
        room_ -= length;
    }

    // Sends the echo of a cleaned line: "[", the line and "]" with a line end. The line
    // stands at frame + 1, with its NUL at frame[length + 1]; frame[0] and the two bytes
    // after the NUL are the caller's to lend, so that a line that goes to put() needs no copy.
    void echo(char* frame, std::size_t length) {
        if (length + 3 > room_) {
            frame[0] = '[';
            frame[length + 1] = ']';
            frame[length + 2] = '\n';
            put(OutputKind::Echo, frame, length + 3);
            frame[length + 1] = '\0';
            return;
        }
        next_[0] = '[';
        if (length <= ShortPiece) {
            for (std::size_t i = 0; i < length; ++i)
                next_[i + 1] = frame[i + 1];
        } else {
            memcpy(next_ + 1, frame + 1, length);
        }
        next_[length + 1] = ']';
        next_[length + 2] = '\n';
        next_ += length + 3;
        room_ -= length + 3;
    }

protected:
    // Takes what does not fit the buffer: for a sink without one, every piece.
    virtual void put(OutputKind kind, const char* text, std::size_t length) = 0;

    // Gives the sink a buffer to fill from next on, with room bytes free.
    void set_buffer(char* next, std::size_t room) {
        next_ = next;
        room_ = room;
    }
    char* buffer_next() const { return next_; }

private:
    static constexpr std::size_t ShortPiece = 16;
    char* next_ = nullptr;
    std::size_t room_ = 0;
};

// Drops everything.
class NullSink : public OutputSink {
protected:
    void put(OutputKind, const char*, std::size_t) override {}
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

protected:
    void put(OutputKind kind, const char* text, std::size_t length) override;
};

}  // namespace vorn
