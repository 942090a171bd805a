#include "params.h"

#include <algorithm>

namespace lsp {

using nlohmann::json;

namespace {

uint32_t coordinate(const json& value) {
    if (!value.is_number_integer() || (!value.is_number_unsigned() && value.get<int64_t>() < 0))
        throw BadParams{"a position is two unsigned numbers"};
    // Far past any text: clamped, and then to the text's end.
    return static_cast<uint32_t>(std::min<uint64_t>(value.get<uint64_t>(), UINT32_MAX));
}

std::string document_uri(const json& in) { return in.at("textDocument").at("uri").get<std::string>(); }

}  // namespace

Position read_position(const json& in) { return Position{coordinate(in.at("line")), coordinate(in.at("character"))}; }

void from_json(const json& in, DocumentParams& out) { out.uri = document_uri(in); }

void from_json(const json& in, TextDocumentPositionParams& out) {
    out.uri = document_uri(in);
    out.position = read_position(in.at("position"));
}

void from_json(const json& in, ReferenceParams& out) {
    from_json(in, static_cast<TextDocumentPositionParams&>(out));
    out.include_declaration = in.value("/context/includeDeclaration"_json_pointer, true);
}

void from_json(const json& in, RenameParams& out) {
    from_json(in, static_cast<TextDocumentPositionParams&>(out));
    out.new_name = in.at("newName").get<std::string>();
}

namespace {

// A text of the params: copied out of params that are only read, moved out of params that
// are taken.
std::string text_of(const json& value) { return value.get<std::string>(); }
std::string text_of(json& value) { return std::move(value.get_ref<std::string&>()); }

template <class Json>
void read_did_open(Json& in, DidOpenParams& out) {
    auto& item = in.at("textDocument");
    out.uri = item.at("uri").template get<std::string>();
    out.version = item.value("version", int64_t{0});
    out.text = text_of(item.at("text"));
}

template <class Json>
void read_did_change(Json& in, DidChangeParams& out) {
    out.uri = document_uri(in);
    const json& document = in.at("textDocument");
    auto version = document.find("version");
    out.version = version != document.end() && version->is_number_integer()
                      ? std::optional<int64_t>(version->template get<int64_t>())
                      : std::nullopt;
    auto& changes = in.at("contentChanges");
    if (!changes.is_array())
        throw BadParams{"contentChanges is an array"};
    out.changes.clear();
    for (auto& change : changes) {
        ContentChange piece;
        piece.text = text_of(change.at("text"));
        if (change.contains("range")) {
            const json& range = change.at("range");
            piece.range = Range{read_position(range.at("start")), read_position(range.at("end"))};
        }
        out.changes.push_back(std::move(piece));
    }
}

}  // namespace

void from_json(const json& in, DidOpenParams& out) { read_did_open(in, out); }
void from_json(const json& in, DidChangeParams& out) { read_did_change(in, out); }

template <>
DidOpenParams take_params<DidOpenParams>(json& params) {
    DidOpenParams out;
    read_did_open(params, out);
    return out;
}

template <>
DidChangeParams take_params<DidChangeParams>(json& params) {
    DidChangeParams out;
    read_did_change(params, out);
    return out;
}

void from_json(const json& in, WorkspaceSymbolParams& out) { out.query = in.value("query", std::string()); }

void from_json(const json& in, DidChangeWatchedFilesParams& out) {
    const json& changes = in.at("changes");
    if (!changes.is_array())
        throw BadParams{"changes is an array"};
    out.changes.clear();
    for (const json& change : changes)
        out.changes.push_back(
            FileEvent{change.at("uri").get<std::string>(), change.value("type", int{FileEvent::Changed})});
}

}  // namespace lsp
