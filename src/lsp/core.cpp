#include "core.h"

#include "server.h"
#include "stray_bytes.h"
#include "text.h"

namespace lsp {

namespace {

constexpr int ParseError = -32700, InvalidRequest = -32600;

std::string error_text(int code, const char* message) {
    json error = {{"jsonrpc", "2.0"}, {"id", nullptr}, {"error", {{"code", code}, {"message", message}}}};
    return error.dump();
}

}  // namespace

Core::Core(vorn::SourceProvider& files, vorn::SideBySide side_by_side)
    : server_(std::make_unique<Server>(files, std::move(side_by_side))) {}

Core::~Core() = default;

std::string Core::parse_error() { return error_text(ParseError, "the message is not framed JSON"); }
std::string Core::too_large() { return error_text(InvalidRequest, "the message is too large"); }

std::vector<std::string> Core::handle(std::string_view text) {
    if (text.size() > MaxMessage)
        return {too_large()};
    json message = json::parse(text, nullptr, false);
    bool carried = false;
    if (message.is_discarded() && !valid_utf8(text)) {
        message = json::parse(carry_stray_bytes(std::string(text)), nullptr, false);
        carried = !message.is_discarded();
    }
    if (message.is_discarded())
        return {parse_error()};
    return handle(message, carried, {});
}

std::vector<std::string> Core::handle(json& message, bool carried, const std::function<bool()>& stop) {
    server_->handle(message, carried, stop);
    return server_->take_output();
}

std::vector<std::string> Core::step(const std::function<bool()>& stop) {
    server_->compile(stop);
    return server_->take_output();
}

bool Core::has_work() const { return server_->has_work(); }
const std::string& Core::compiling() const { return server_->compiling(); }
std::optional<int> Core::exit_status() const { return server_->exit_status(); }

}  // namespace lsp
