// The language server: documents, compiles, diagnostics and the dispatch of every message.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis.h"
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
    // The absolute paths its last compile read or tried to read.
    std::set<std::string> reads;
    // Its last compile's diagnostics, by the URI they are published on.
    std::map<std::string, json> diagnostics;
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

    void open(json& params);
    void change(json& params);
    void close(const json& params);
    void saved(const json& params);
    void watched_files_changed(const json& params);
    void set_text(Document& document, std::string text);
    void lists_changed(const std::string& folder);
    void readers_changed(const std::string& path);

    Document* document(const json& params);
    Document* fresh_document(const json& params);
    void compile(Document& document);
    void compile_dirty();
    vorn::OverlayProvider& provider(const std::string& folder);
    std::string root_of(const std::string& path) const;
    std::string uri_of(const std::string& path) const;
    const Text* file_text(const std::string& path, std::map<std::string, std::unique_ptr<Text>>& cache) const;

    void collect_diagnostics(Document& document);
    void publish(const std::string& uri, bool always);

    void reply(const json& id, json result);
    void error(const json& id, int code, const std::string& message);

    Transport& transport_;
    vorn::Compiler compiler_;
    Encoding encoding_ = Encoding::Utf16;
    bool snippets_ = false;
    bool watch_registration_ = false;
    std::vector<std::string> roots_;
    bool initialized_ = false;
    bool carried_ = false;  // the message being handled carries stray bytes
    bool shut_down_ = false;
    std::optional<int> exit_status_;
    std::map<std::string, Document> documents_;                            // by URI
    std::map<std::string, std::unique_ptr<vorn::OverlayProvider>> providers_;  // by folder
    std::map<std::string, std::string> published_;  // the last non-empty publish, by URI
    // URIs to publish once the compiles in hand are done; true: even if nothing changed.
    std::map<std::string, bool> to_publish_;
    // Files read from disk for a feature: kept for one request only.
    mutable std::map<std::string, std::unique_ptr<Text>> disk_texts_;
};

}  // namespace lsp
