#include "stdio_host.h"

#include "core.h"
#include "inbox.h"
#include "project_store.h"

namespace lsp {

static_assert(Core::MaxMessage == Transport::MaxBody, "the host and the core bound a message alike");

namespace {

// The id a $/cancelRequest notification names; nullptr for any other message.
const json* cancel_of(const json& message) {
    auto method = message.find("method");
    if (method == message.end() || *method != "$/cancelRequest" || message.contains("id"))
        return nullptr;
    auto params = message.find("params");
    if (params == message.end() || !params->is_object() || !params->contains("id"))
        return nullptr;
    return &params->at("id");
}

}  // namespace

int serve(Transport& transport, vorn::SourceProvider& files) {
    Core core(files, vorn::run_on_threads);
    Inbox inbox(transport);
    auto send = [&](const std::vector<std::string>& messages) {
        for (const std::string& message : messages)
            transport.send_body(message);
    };
    // Between messages: a change waiting for a document inside the project being compiled
    // makes its compile stale.
    const std::function<bool()> change_waiting = [&] {
        const std::string& folder = core.compiling();
        return inbox.document_change_waiting([&](const std::string& path) { return inside_folder(path, folder); });
    };
    for (;;) {
        if (!inbox.waiting() && core.has_work())
            send(core.step(change_waiting));
        Incoming in = inbox.take();
        switch (in.status) {
        case Read::End:
            return core.exit_status().value_or(0);
        case Read::Malformed:
            transport.send_body(Core::parse_error());
            break;
        case Read::TooLarge:
            transport.send_body(Core::too_large());
            break;
        case Read::Message: {
            json& message = in.message;
            json id;
            bool request = message.is_object() && message.contains("id") && message.contains("method");
            if (request)
                id = message["id"];
            // Every request the cancel was for has been handled by now.
            if (message.is_object())
                if (const json* cancelled = cancel_of(message))
                    inbox.forget_cancel(*cancelled);
            const std::function<bool()> cancelled = [&] { return inbox.cancelled(id); };
            send(core.handle(message, in.stray_bytes, request ? cancelled : change_waiting));
            break;
        }
        }
        if (core.exit_status())
            return *core.exit_status();
        if (transport.broken())
            return 1;
    }
}

}  // namespace lsp
