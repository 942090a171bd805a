// The params of the requests and notifications the server reads, as C++ records: read from
// JSON where a message comes in, so that handlers see typed values only.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol.h"

namespace lsp {

// Params the server cannot use: the request gets InvalidParams with this text.
struct BadParams {
    std::string what;
};

// Reading throws BadParams or nlohmann::json::exception on what is not of the protocol's shape.
Position read_position(const nlohmann::json& in);

// {"textDocument": {"uri"}}: didClose, didSave, documentSymbol, documentLink.
struct DocumentParams {
    std::string uri;
};
void from_json(const nlohmann::json& in, DocumentParams& out);

// {"textDocument": {"uri"}, "position"}: every request on a place in a document.
struct TextDocumentPositionParams {
    std::string uri;
    Position position;
};
void from_json(const nlohmann::json& in, TextDocumentPositionParams& out);

struct ReferenceParams : TextDocumentPositionParams {
    bool include_declaration = true;
};
void from_json(const nlohmann::json& in, ReferenceParams& out);

struct RenameParams : TextDocumentPositionParams {
    std::string new_name;
};
void from_json(const nlohmann::json& in, RenameParams& out);

struct DidOpenParams {
    std::string uri;
    int64_t version = 0;
    std::string text;
};
void from_json(const nlohmann::json& in, DidOpenParams& out);

// One of a didChange's contentChanges: the text of a range (in the negotiated encoding), or
// the whole text when there is no range.
struct ContentChange {
    std::optional<Range> range;
    std::string text;
};

struct DidChangeParams {
    std::string uri;
    std::optional<int64_t> version;
    std::vector<ContentChange> changes;
};
void from_json(const nlohmann::json& in, DidChangeParams& out);

// A notification's params as their record, for a handler that is their last reader: a
// document's text is moved out of params, not copied.
template <class Params>
Params take_params(nlohmann::json& params) {
    return params.get<Params>();
}
template <>
DidOpenParams take_params<DidOpenParams>(nlohmann::json& params);
template <>
DidChangeParams take_params<DidChangeParams>(nlohmann::json& params);

struct WorkspaceSymbolParams {
    std::string query;
};
void from_json(const nlohmann::json& in, WorkspaceSymbolParams& out);

// One file the client saw change on disk.
struct FileEvent {
    enum Type { Created = 1, Changed = 2, Deleted = 3 };
    std::string uri;
    int type = Changed;
};

struct DidChangeWatchedFilesParams {
    std::vector<FileEvent> changes;
};
void from_json(const nlohmann::json& in, DidChangeWatchedFilesParams& out);

}  // namespace lsp
