// The language server: documents, compiles, diagnostics and the dispatch of every message.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <vorn/edit_check.h>
#include <vorn/sources.h>

#include "analysis.h"
#include "document_store.h"
#include "features.h"
#include "params.h"
#include "project_store.h"
#include "project_features.h"
#include "publisher.h"
#include "settings.h"
#include "protocol.h"
#include "text.h"
#include "stray_bytes.h"

namespace lsp {

// The server's state and the handling of every message, with no I/O: what it has to send is
// kept, as JSON text, until take_output. Compiles run between messages (compile), and ask the
// host's stop check as they go (stop_compile): a compile of a project one of whose documents
// is about to change again is abandoned, and redone with the newest text once the change is
// taken; nothing is published from it. A request waits for the compile in hand, at most one
// compile, and a request cancelled while it waits (or while its own compile runs) is answered
// with RequestCancelled. Reached through Core (core.h).
class Server {
public:
    // files: where every file that is not an open document is read from.
    // side_by_side: how the checks of fixes and renames may run compiles at once.
    explicit Server(vorn::SourceProvider& files, vorn::SideBySide side_by_side = {});
    // One message; stop says, while its compiles run, whether the request has been cancelled.
    void handle(json& message, bool carried, const std::function<bool()>& stop);
    // Compiles what changed and publishes what it found; stop abandons it.
    void compile(const std::function<bool()>& stop);
    bool has_work() const;
    std::optional<int> exit_status() const { return exit_status_; }
    // The messages to send since the last call, in order.
    std::vector<std::string> take_output();
    // The project folder of the compile in hand (or the last one).
    const std::string& compiling() const { return compiling_; }

private:
    // carried: the message's strings carry stray bytes (see carry_stray_bytes).
    void handle(json& message, bool carried);
    void request(const json& id, const std::string& method, json& params);
    void notification(const std::string& method, json& params);
    // ---- Every request and notification: one row of methods_ and one handler each ----
    // Lifecycle: initialize, shutdown and exit, which the server takes before initialize or
    // after shutdown as the protocol orders; Notification: a notification, taken once
    // initialized; the others are requests, and what they need of their document.
    enum class Needs { Nothing, Document, Position, Lifecycle, Notification };
    struct Request {
        json& params;  // read as the method's record from params.h (params.get<RenameParams>())
        Document* document;  // with Needs::Document or Needs::Position: open, compiled
        Position position;   // with Needs::Position
    };
    // A handler returns the protocol's record for its answer; answer<handler> is the row's
    // entry, which turns it into JSON for the reply.
    template <auto Handler>
    json answer(Request& call) {
        return answer_json((this->*Handler)(call));
    }
    json answer_json(WrittenJson written) {
        written_result_ = std::move(written.text);
        return nullptr;
    }
    template <class T>
    static json answer_json(const T& result) {
        return lsp::answer_json(result);
    }
    // A notification's handler takes its params as their record from params.h; notice<handler>
    // is the row's entry, which decodes them.
    template <class Params>
    struct ParamsOf;
    template <class Params>
    struct ParamsOf<void (Server::*)(Params)> {
        using type = std::decay_t<Params>;
    };
    template <auto Handler>
    json notice(Request& call) {
        (this->*Handler)(take_params<typename ParamsOf<decltype(Handler)>::type>(call.params));
        return nullptr;
    }
    struct MethodRow {
        const char* method;
        json (Server::*handler)(Request&);  // answer<&Server::on_...> or notice<&Server::...>
        Needs needs;
        const char* empty;  // the answer (JSON) when the document is not open
        const char* capability;        // the key it adds to initialize's capabilities, or nullptr
        const char* capability_value;  // and its value (JSON)
    };
    static const MethodRow methods_[];
    static const MethodRow* method_row(const std::string& method);
    FeatureContext feature_context(const Request& call);
    std::vector<const vorn::Symbol*> symbols_here(const Request& call, const vorn::Project*& project);
    CompletionList on_completion(Request& call);
    std::optional<Hover> on_hover(Request& call);
    json on_definition(Request& call);
    WrittenJson on_document_symbol(Request& call);
    std::optional<SignatureHelp> on_signature_help(Request& call);
    std::vector<Location> on_references(Request& call);
    std::vector<DocumentHighlight> on_highlight(Request& call);
    std::vector<DocumentLink> on_document_link(Request& call);
    PrepareRenameResult on_prepare_rename(Request& call);
    WorkspaceEdit on_rename(Request& call);
    std::vector<SymbolInformation> on_workspace_symbol(Request& call);
    std::vector<CodeAction> on_code_action(Request& call);
    WrittenJson on_semantic_tokens(Request& call);
    WrittenJson on_semantic_tokens_range(Request& call);
    WrittenJson on_formatting(Request& call);
    WrittenJson on_range_formatting(Request& call);
    WrittenJson on_folding_range(Request& call);
    std::vector<InlayHint> on_inlay_hint(Request& call);
    std::vector<SelectionRange> on_selection_range(Request& call);
    ProjectContext project_context(const vorn::Project& project);
    std::optional<Location> definition_in_lists(const Document& document, Position position);
    std::vector<DocumentLink> document_links(const Document& document);

    json on_initialize(Request& call);
    json on_shutdown(Request& call);
    void exit(const json& params);
    void initialized(const json& params);
    void configuration_changed(const json& params);
    void ignore(const json&) {}

    void open(DidOpenParams params);
    void change(DidChangeParams params);
    void close(const DocumentParams& params);
    void saved(const DocumentParams& params);
    void watched_files_changed(const DidChangeWatchedFilesParams& params);
    void ask_configuration();
    bool take_settings(const json& settings);

    Document* fresh_document(const std::string& uri);
    void place(Document& document);
    void analyse(Document& document);
    void compile_dirty();
    bool stop_compile(const std::string& folder);
    bool stopped() const { return stop_ && *stop_ && (*stop_)(); }
    std::unique_ptr<Text> read_text(const std::string& path) const;
    void send(const json& message);
    std::string root_of(const std::string& path) const;
    std::string uri_of(const std::string& path) const;
    const Text* file_text(const std::string& path, std::map<std::string, std::unique_ptr<Text>>& cache) const;

    void collect_diagnostics(const std::string& folder);
    void publish();

    void reply(const json& id, json result);
    void error(const json& id, int code, const std::string& message);

    vorn::SourceProvider& files_;
    vorn::SideBySide side_by_side_;
    std::vector<std::string> out_;
    // The stop check of the call in hand (handle or compile); nullptr between calls.
    const std::function<bool()>* stop_ = nullptr;
    struct Stop {
        const std::function<bool()>*& slot;
        Stop(const std::function<bool()>*& to, const std::function<bool()>* stop) : slot(to) { slot = stop; }
        ~Stop() { slot = nullptr; }
    };
    std::string compiling_;
    ProjectStore projects_;
    // Projects whose documents or files changed since the last compile_dirty.
    std::set<std::string> touched_;
    Encoding encoding_ = Encoding::Utf16;
    bool snippets_ = false;
    bool watch_registration_ = false;
    // The client re-asks for every visible document's semantic tokens when told to.
    bool tokens_refresh_ = false;
    uint64_t refresh_requests_ = 0;
    // The client answers workspace/configuration; the requests for it are numbered.
    bool configuration_ = false;
    uint64_t configuration_requests_ = 0;
    static constexpr const char* ConfigurationRequest = "vorn-configuration-";
    // The warnings vorn.warnings asked for; none: the default ones.
    std::optional<vorn::WarningSet> warnings_;
    std::vector<std::string> roots_;
    bool initialized_ = false;
    bool carried_ = false;  // the message being handled carries stray bytes
    // The result of the request being handled when its row answers WrittenJson: sent as the
    // text stands.
    std::optional<std::string> written_result_;
    bool shut_down_ = false;
    std::optional<int> exit_status_;
    DocumentStore documents_;
    // What each project found, what is due to be published once the compiles in hand are
    // done, and what each URI showed last.
    Publisher publisher_;
    // Files read from disk for a feature: kept until a project changes (compile_dirty).
    mutable std::map<std::string, std::unique_ptr<Text>> disk_texts_;
};

}  // namespace lsp
