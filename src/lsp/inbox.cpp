#include "inbox.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "text.h"
#include "../tools/guarded_main.h"

namespace lsp {

struct Inbox::Shared {
    struct Waiting {
        Incoming in;
        std::string document;  // changed_document of the message
    };
    mutable std::mutex mutex;
    std::condition_variable arrived;
    std::condition_variable room;
    std::deque<Waiting> queue;
    // The documents of the waiting messages that change one; the ids of the waiting cancels.
    std::vector<std::string> changing;
    std::vector<json> cancels;
    bool ended = false;
};

namespace {

const json* cancelled_id(const Incoming& in) {
    if (in.status != Read::Message || !in.message.is_object())
        return nullptr;
    auto method = in.message.find("method");
    if (method == in.message.end() || *method != "$/cancelRequest" || in.message.contains("id"))
        return nullptr;
    auto params = in.message.find("params");
    if (params == in.message.end() || !params->is_object() || !params->contains("id"))
        return nullptr;
    return &(*params)["id"];
}

void read_messages(Transport* transport, const std::shared_ptr<Inbox::Shared>& shared) {
    for (;;) {
        Incoming in = transport->read();
        std::string document = in.status == Read::Message ? changed_document(in.message) : std::string();
        bool end = in.status == Read::End;
        std::unique_lock lock(shared->mutex);
        shared->room.wait(lock, [&] { return shared->queue.size() < Inbox::MaxWaiting; });
        if (!document.empty())
            shared->changing.push_back(document);
        if (const json* id = cancelled_id(in))
            shared->cancels.push_back(*id);
        shared->queue.push_back({std::move(in), std::move(document)});
        shared->arrived.notify_one();
        if (end)
            return;
    }
}

// An exception that left this thread would end the server by abort's signal; one ends it
// here with the message and status of the tools' main (out of memory while a message is
// read, say).
void read_all(Transport* transport, std::shared_ptr<Inbox::Shared> shared) {
    constexpr int Ended = -1;
    int status = guarded_main("vorn-lsp", [&] {
        read_messages(transport, shared);
        return Ended;
    });
    if (status != Ended)
        std::_Exit(status);
}

}  // namespace

std::string changed_document(const json& message) {
    if (!message.is_object())
        return {};
    auto method = message.find("method");
    if (method == message.end() || !method->is_string())
        return {};
    const std::string& name = method->get_ref<const std::string&>();
    if (name != "textDocument/didOpen" && name != "textDocument/didChange" && name != "textDocument/didClose")
        return {};
    const json* uri = nullptr;
    auto params = message.find("params");
    if (params != message.end() && params->is_object()) {
        auto document = params->find("textDocument");
        if (document != params->end() && document->is_object()) {
            auto found = document->find("uri");
            if (found != document->end() && found->is_string())
                uri = &*found;
        }
    }
    if (!uri)
        return {};
    std::string path = uri_to_path(uri->get<std::string>());
    return path.empty() ? path : std::filesystem::path(path).lexically_normal().string();
}

Inbox::Inbox(Transport& transport) : shared_(std::make_shared<Shared>()) {
    std::thread(read_all, &transport, shared_).detach();
}

Inbox::~Inbox() = default;

Incoming Inbox::take() {
    std::unique_lock lock(shared_->mutex);
    if (shared_->ended)
        return Incoming{};
    shared_->arrived.wait(lock, [&] { return !shared_->queue.empty(); });
    Shared::Waiting next = std::move(shared_->queue.front());
    shared_->queue.pop_front();
    shared_->room.notify_one();
    if (!next.document.empty()) {
        auto& changing = shared_->changing;
        changing.erase(std::find(changing.begin(), changing.end(), next.document));
    }
    if (next.in.status == Read::End)
        shared_->ended = true;
    return std::move(next.in);
}

bool Inbox::waiting() const {
    std::lock_guard lock(shared_->mutex);
    return !shared_->queue.empty();
}

bool Inbox::document_change_waiting(const std::function<bool(const std::string&)>& affected) const {
    std::lock_guard lock(shared_->mutex);
    return std::any_of(shared_->changing.begin(), shared_->changing.end(), affected);
}

bool Inbox::cancelled(const json& id) const {
    std::lock_guard lock(shared_->mutex);
    return std::find(shared_->cancels.begin(), shared_->cancels.end(), id) != shared_->cancels.end();
}

void Inbox::forget_cancel(const json& id) {
    std::lock_guard lock(shared_->mutex);
    auto found = std::find(shared_->cancels.begin(), shared_->cancels.end(), id);
    if (found != shared_->cancels.end())
        shared_->cancels.erase(found);
}

}  // namespace lsp
