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

void from_json(const json& in, DidOpenParams& out) {
    const json& item = in.at("textDocument");
    out.uri = item.at("uri").get<std::string>();
    out.version = item.value("version", int64_t{0});
    out.text = item.at("text").get<std::string>();
}

void from_json(const json& in, DidChangeParams& out) {
    out.uri = document_uri(in);
    const json& document = in.at("textDocument");
    auto version = document.find("version");
    out.version = version != document.end() && version->is_number_integer()
                      ? std::optional<int64_t>(version->get<int64_t>())
                      : std::nullopt;
    const json& changes = in.at("contentChanges");
    if (!changes.is_array())
        throw BadParams{"contentChanges is an array"};
    out.changes.clear();
    for (const json& change : changes) {
        ContentChange piece;
        piece.text = change.at("text").get<std::string>();
        if (change.contains("range")) {
            const json& range = change["range"];
            piece.range = Range{read_position(range.at("start")), read_position(range.at("end"))};
        }
        out.changes.push_back(std::move(piece));
    }
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
