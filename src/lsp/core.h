// The language server as a function of messages: one message in, the messages to send out.
// No thread, clock, file descriptor or global: a host frames the messages (vorn-lsp on standard
// input and output, a fuzzer, a page in a browser), decides when deferred work runs and when
// it is to stop, and gives the files through a provider.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include <vorn/edit_check.h>
#include <vorn/sources.h>

namespace lsp {

class Server;

class Core {
public:
    // A message longer than this is answered as too large, unread (the stdio host's bound).
    static constexpr std::size_t MaxMessage = std::size_t{256} << 20;

    // files: where every file that is not an open document is read from (the disk for
    // vorn-lsp, memory for a browser). It must outlive the core. side_by_side: the host's
    // threads, for the compiles that check a fix or a rename (empty: they run in turn).
    explicit Core(vorn::SourceProvider& files, vorn::SideBySide side_by_side = {});
    ~Core();
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    // One message in (JSON text; a body that is not valid UTF-8 has its stray bytes carried
    // as the stdio host carries them); the messages to send, in order (JSON text each).
    std::vector<std::string> handle(std::string_view message);
    // The same for a message already parsed (carried: its strings carry stray bytes), whose
    // params are taken from it (a document's text is moved, not copied). stop is
    // asked while the compiles the message waits for run: true when the request has been
    // cancelled, which answers it with RequestCancelled.
    std::vector<std::string> handle(nlohmann::json& message, bool carried, const std::function<bool()>& stop);
    // Deferred work (compiles): runs it, asking stop() as it goes; returns the messages to
    // send. A stopped compile stays to do: has_work() is still true.
    std::vector<std::string> step(const std::function<bool()>& stop);
    bool has_work() const;
    // The project folder (absolute) of the compile step() is running or last ran: a host's
    // stop check looks for changes to documents inside it.
    const std::string& compiling() const;
    // Set after `exit`: 0 after shutdown, else 1.
    std::optional<int> exit_status() const;

    // The answer to a body that is not framed JSON, or that is too large, for hosts that meet
    // one before the core does.
    static std::string parse_error();
    static std::string too_large();

private:
    std::unique_ptr<Server> server_;
};

}  // namespace lsp
