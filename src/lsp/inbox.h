// The messages read but not yet handled: a reader thread frames them off the input as they
// come, and the server's thread takes them in order.
//
// Only this queue is shared between the two threads. The reader also notes, while a message
// waits here, what the server's thread may want to know before it gets to it: which documents
// are about to change (so that a compile of their old text can be abandoned) and which
// requests the client has cancelled ($/cancelRequest).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport.h"

namespace lsp {

class Inbox {
public:
    // The reader stops reading while this many messages wait, until the server catches up.
    static constexpr std::size_t MaxWaiting = 4096;

    // Starts the reader thread on transport's input; the thread ends with the input. The
    // transport must outlive it (it is never joined: it may sit in a read at exit).
    explicit Inbox(Transport& transport);
    ~Inbox();
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    // The next message, in the order read; blocks until there is one. After the input's end
    // it gives Read::End for ever.
    Incoming take();
    // Whether a message waits.
    bool waiting() const;
    // Whether a message waits that opens, changes or closes a document whose path (absolute,
    // normal) satisfies affected.
    bool document_change_waiting(const std::function<bool(const std::string&)>& affected) const;
    // Whether a $/cancelRequest for id waits (or one taken after the request it cancels was
    // taken; see forget_cancel).
    bool cancelled(const json& id) const;
    // The $/cancelRequest for id has been taken: every request before it has been handled.
    void forget_cancel(const json& id);

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

// What a message does to a document, as the reader notes it: the path of the document that a
// didOpen, didChange or didClose names; empty for every other message.
std::string changed_document(const json& message);

}  // namespace lsp
