// The language server: documents, compiles, diagnostics and the dispatch of every message.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis.h"
#include "features.h"
#include "project_store.h"
#include "project_features.h"
#include "protocol.h"
#include "text.h"
#include "transport.h"

namespace lsp {

struct Document {
    std::string uri;
    std::string path;  // empty for a document that is not a file
    int64_t version = 0;
    Text text;
    bool list = false;  // events.lst or command.lst: served to compiles, not compiled
    bool dirty = true;
    std::unique_ptr<Analysis> analysis;
    // The folder of the project it belongs to; empty when it has none.
    std::string project;
};

class Server {
public:
    explicit Server(Transport& transport) : transport_(transport) {}
    // Serves until exit or the end of the input; returns the exit status.
    int run();

private:
    // carried: the message's strings carry stray bytes (see carry_stray_bytes).
    void handle(json& message, bool carried);
    void request(const json& id, const std::string& method, const json& params);
    void notification(const std::string& method, json& params);
    json initialize(const json& params);
    // ---- Requests: one row of methods_ and one handler each ----
    enum class Needs { Nothing, Document, Position };
    struct Request {
        const json& params;
        Document* document;  // with Needs::Document or Needs::Position: open, compiled
        Position position;   // with Needs::Position
    };
    struct MethodRow {
        const char* method;
        json (Server::*handler)(Request&);
        Needs needs;
        const char* empty;  // the answer (JSON) when the document is not open
        const char* capability;        // the key it adds to initialize's capabilities, or nullptr
        const char* capability_value;  // and its value (JSON)
    };
    static const MethodRow methods_[];
    static const MethodRow* method_row(const std::string& method);
    FeatureContext feature_context(const Request& call);
    std::vector<const vorn::Symbol*> symbols_here(const Request& call, const vorn::Project*& project);
    json on_completion(Request& call);
    json on_hover(Request& call);
    json on_definition(Request& call);
    json on_document_symbol(Request& call);
    json on_signature_help(Request& call);
    json on_references(Request& call);
    json on_highlight(Request& call);
    json on_document_link(Request& call);
    json on_prepare_rename(Request& call);
    json on_rename(Request& call);
    json on_workspace_symbol(Request& call);
    json on_code_action(Request& call);
    json on_formatting(Request& call);
    json on_range_formatting(Request& call);
    json on_folding_range(Request& call);
    json on_inlay_hint(Request& call);
    json on_selection_range(Request& call);
    ProjectContext project_context(const vorn::Project& project);
    json definition_in_lists(const Document& document, Position position);
    json document_links(const Document& document);

    void open(json& params);
    void change(json& params);
    void close(const json& params);
    void saved(const json& params);
    void watched_files_changed(const json& params);
    void set_text(Document& document, std::string text);

    Document* document(const json& params);
    Document* fresh_document(const json& params);
    void place(Document& document);
    void analyse(Document& document);
    void compile_dirty();
    std::string root_of(const std::string& path) const;
    std::string uri_of(const std::string& path) const;
    const Text* file_text(const std::string& path, std::map<std::string, std::unique_ptr<Text>>& cache) const;

    void collect_diagnostics(const std::string& folder);
    RelatedInformation include_link(const vorn::Project& project, const vorn::ContextDiagnostic& found);
    Range range_in(const std::string& path, const vorn::Location& where,
                   std::map<std::string, std::unique_ptr<ColumnConverter>>& converters);
    void publish(const std::string& uri, bool always);

    void reply(const json& id, json result);
    void error(const json& id, int code, const std::string& message);

    Transport& transport_;
    ProjectStore projects_;
    // Projects whose documents or files changed since the last compile_dirty.
    std::set<std::string> touched_;
    Encoding encoding_ = Encoding::Utf16;
    bool snippets_ = false;
    bool watch_registration_ = false;
    std::vector<std::string> roots_;
    bool initialized_ = false;
    bool carried_ = false;  // the message being handled carries stray bytes
    // The result of the request being handled, written out as JSON text by its handler (whose
    // own answer then goes unused): for results too large to build as a json value cheaply.
    std::optional<std::string> written_result_;
    bool shut_down_ = false;
    std::optional<int> exit_status_;
    std::map<std::string, Document> documents_;                            // by URI
    // What each project found, by project folder and then by URI; a document without a
    // project has its own entry under the empty folder.
    std::map<std::string, std::map<std::string, std::vector<Diagnostic>>> found_;
    std::map<std::string, std::vector<Diagnostic>> published_;  // the last non-empty publish, by URI
    // URIs to publish once the compiles in hand are done; true: even if nothing changed.
    std::map<std::string, bool> to_publish_;
    // Files read from disk for a feature: kept for one request only.
    mutable std::map<std::string, std::unique_ptr<Text>> disk_texts_;
};

}  // namespace lsp
