#include "server.h"
#include "messages.h"

#include "code_actions.h"


#include <algorithm>
#include <filesystem>
#include <new>

#include "editing.h"
#include "features.h"
#include "project_features.h"
#include "line_view.h"
#include "semantic_tokens.h"

#include <vorn/project.h>
#include <vorn/read_file.h>

namespace lsp {

namespace {

// JSON-RPC and protocol error codes.
constexpr int InvalidRequest = -32600, MethodNotFound = -32601,
              InvalidParams = -32602, InternalError = -32603, ServerNotInitialized = -32002,
              RequestFailed = -32803, RequestCancelled = -32800;

// Files read from disk for positions are not read past this size.
constexpr std::size_t MaxDiskText = 64 << 20;
// Files read from disk for positions are kept between requests up to this many bytes.
constexpr std::size_t MaxKeptDiskText = 32 << 20;
// Room a written answer keeps for the message around it ({"jsonrpc":"2.0","id":...,"result":}),
// so that wrapping a large one does not copy it.
constexpr std::size_t AnswerFraming = 64;

// The lines a range of params touches (an end at the start of a line does not touch it).
std::pair<uint32_t, uint32_t> lines_of(const json& params) {
    Position start = read_position(params.at("range").at("start"));
    Position end = read_position(params.at("range").at("end"));
    uint32_t last = end.line;
    if (end.character == 0 && last > start.line)
        --last;
    return {start.line, std::max(start.line, last)};
}

}  // namespace

Server::Server(vorn::SourceProvider& files, vorn::SideBySide side_by_side)
    : files_(files), side_by_side_(std::move(side_by_side)) {
    projects_.set_files(files_);
    projects_.set_stop([this](const std::string& folder) { return stop_compile(folder); });
}

void Server::handle(json& message, bool carried, const std::function<bool()>& stop) {
    Stop asking{stop_, &stop};
    handle(message, carried);
}

void Server::compile(const std::function<bool()>& stop) {
    Stop asking{stop_, &stop};
    compile_dirty();
}

bool Server::has_work() const {
    return !touched_.empty() || publisher_.due() ||
           std::any_of(documents_.begin(), documents_.end(), [](const auto& entry) { return entry.second.dirty; });
}

std::vector<std::string> Server::take_output() {
    std::vector<std::string> out;
    out.swap(out_);
    return out;
}

void Server::send(const json& message) {
    // Text from scripts need not be UTF-8; what goes out must be, so such bytes show as U+FFFD.
    out_.push_back(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

void Server::handle(json& message, bool carried) {
    if (!message.is_object()) {
        error(nullptr, InvalidRequest, "a message is a JSON object");
        return;
    }
    json id = message.contains("id") ? message["id"] : json();
    bool has_id = message.contains("id");
    if (has_id && !id.is_string() && !id.is_number_integer() && !id.is_null()) {
        error(nullptr, InvalidRequest, "an id is a number or a string");
        return;
    }
    auto method = message.find("method");
    if (method == message.end()) {
        // A response to one of our requests: the workspace configuration is taken; the others
        // (the watcher registration, a refresh) need nothing.
        if (has_id && id.is_string() && id.get<std::string>().rfind(ConfigurationRequest, 0) == 0 &&
            message.contains("result") && message["result"].is_array() && !message["result"].empty())
            take_settings(message["result"][0]);
        if (!has_id)
            error(nullptr, InvalidRequest, "a message without a method");
        return;
    }
    if (!method->is_string()) {
        if (has_id)
            error(id, InvalidRequest, "the method is not a string");
        return;
    }
    std::string name = method->get<std::string>();
    // Taken, not copied: a document's text is the largest thing a message carries.
    json params = message.contains("params") ? std::move(message["params"]) : json::object();
    carried_ = carried;
    try {
        if (has_id)
            request(id, name, params);
        else
            notification(name, params);
    } catch (const BadParams& bad) {
        if (has_id)
            error(id, InvalidParams, bad.what);
    } catch (const json::exception& bad) {
        if (has_id)
            error(id, InvalidParams, bad.what());
    } catch (const std::bad_alloc&) {
        if (has_id)
            error(id, InternalError, "out of memory");
    }
}

void Server::request(const json& id, const std::string& method, json& params) {
    if (stopped())
        return error(id, RequestCancelled, "the request was cancelled");
    const MethodRow* row = method_row(method);
    if (row && row->needs == Needs::Notification)
        row = nullptr;
    Request call{params, nullptr, {}};
    if (row && row->handler == &Server::on_initialize) {
        if (initialized_)
            return error(id, InvalidRequest, "initialize was sent twice");
        initialized_ = true;
        return reply(id, on_initialize(call));
    }
    if (!initialized_)
        return error(id, ServerNotInitialized, "the server is not initialized");
    if (shut_down_)
        return error(id, InvalidRequest, "the server is shutting down");
    if (!row || row->handler == &Server::notice<&Server::exit>)
        return error(id, MethodNotFound, "unknown method " + method);
    if (row->needs == Needs::Lifecycle)
        return reply(id, (this->*row->handler)(call));
    if (!params.is_object())
        throw BadParams{"params must be an object"};
    if (row->needs == Needs::Position) {
        auto at = params.get<TextDocumentPositionParams>();
        call.position = at.position;
        call.document = fresh_document(at.uri);
    } else if (row->needs == Needs::Document) {
        call.document = fresh_document(params.get<DocumentParams>().uri);
    } else if (!touched_.empty() || std::any_of(documents_.begin(), documents_.end(),
                                                [](const auto& entry) { return entry.second.dirty; })) {
        compile_dirty();
    }
    // A compile that the cancel stopped on the way left nothing to answer with.
    if (stopped())
        return error(id, RequestCancelled, "the request was cancelled");
    // A document that is not open (or a list) has nothing to offer.
    if (row->needs != Needs::Nothing && (!call.document || !call.document->analysis))
        return reply(id, json::parse(row->empty));
    // Files read from disk for positions are kept from one request to the next (references
    // across a thousand files would read them all each time) until a project changes, within
    // a bound.
    std::size_t kept = 0;
    for (const auto& [path, text] : disk_texts_)
        kept += text ? text->bytes().size() : 0;
    if (kept > MaxKeptDiskText)
        disk_texts_.clear();
    written_result_.reset();
    try {
        json result = (this->*row->handler)(call);
        if (written_result_) {
            // Wrapped in place: a large answer is not copied to become its message.
            std::string& text = *written_result_;
            text.insert(0, R"({"jsonrpc":"2.0","id":)" + id.dump() + R"(,"result":)");
            text.push_back('}');
            out_.push_back(std::move(text));
            written_result_.reset();
            return;
        }
        reply(id, std::move(result));
    } catch (const Refusal& refused) {
        error(id, RequestFailed, refused.why);
    }
}

// ---- The requests --------------------------------------------------------------------------------

// One row per method: its name, its handler, what it needs, the answer when its document is
// not open, and the capability it adds to initialize's answer.
const Server::MethodRow Server::methods_[] = {
    {"initialize", &Server::on_initialize, Needs::Lifecycle, nullptr, nullptr, nullptr},
    {"shutdown", &Server::on_shutdown, Needs::Lifecycle, nullptr, nullptr, nullptr},
    {"exit", &Server::notice<&Server::exit>, Needs::Lifecycle, nullptr, nullptr, nullptr},
    {"initialized", &Server::notice<&Server::initialized>, Needs::Notification, nullptr, nullptr, nullptr},
    {"textDocument/didOpen", &Server::notice<&Server::open>, Needs::Notification, nullptr, nullptr, nullptr},
    {"textDocument/didChange", &Server::notice<&Server::change>, Needs::Notification, nullptr, nullptr, nullptr},
    {"textDocument/didClose", &Server::notice<&Server::close>, Needs::Notification, nullptr, nullptr, nullptr},
    {"textDocument/didSave", &Server::notice<&Server::saved>, Needs::Notification, nullptr, nullptr, nullptr},
    {"workspace/didChangeWatchedFiles", &Server::notice<&Server::watched_files_changed>, Needs::Notification,
     nullptr, nullptr, nullptr},
    {"workspace/didChangeConfiguration", &Server::notice<&Server::configuration_changed>, Needs::Notification,
     nullptr, nullptr, nullptr},
    // A cancel is the host's (it stops the compile a request waits for); a trace level
    // changes nothing here.
    {"$/cancelRequest", &Server::notice<&Server::ignore>, Needs::Notification, nullptr, nullptr, nullptr},
    {"$/setTrace", &Server::notice<&Server::ignore>, Needs::Notification, nullptr, nullptr, nullptr},
    {"textDocument/completion", &Server::answer<&Server::on_completion>, Needs::Position, R"({"isIncomplete":false,"items":[]})",
     "completionProvider", R"({"triggerCharacters":["(",","],"resolveProvider":false})"},
    {"textDocument/hover", &Server::answer<&Server::on_hover>, Needs::Position, "null", "hoverProvider", "true"},
    {"textDocument/definition", &Server::answer<&Server::on_definition>, Needs::Position, "null", "definitionProvider", "true"},
    {"textDocument/documentSymbol", &Server::answer<&Server::on_document_symbol>, Needs::Document, "[]",
     "documentSymbolProvider", "true"},
    {"textDocument/signatureHelp", &Server::answer<&Server::on_signature_help>, Needs::Position, "null", "signatureHelpProvider",
     R"({"triggerCharacters":["(",","]})"},
    {"textDocument/references", &Server::answer<&Server::on_references>, Needs::Position, "[]", "referencesProvider", "true"},
    {"textDocument/documentHighlight", &Server::answer<&Server::on_highlight>, Needs::Position, "[]",
     "documentHighlightProvider", "true"},
    {"textDocument/documentLink", &Server::answer<&Server::on_document_link>, Needs::Document, "[]", "documentLinkProvider",
     R"({"resolveProvider":false})"},
    {"textDocument/prepareRename", &Server::answer<&Server::on_prepare_rename>, Needs::Position, "null", "renameProvider",
     R"({"prepareProvider":true})"},
    {"textDocument/rename", &Server::answer<&Server::on_rename>, Needs::Position, "null", nullptr, nullptr},
    {"workspace/symbol", &Server::answer<&Server::on_workspace_symbol>, Needs::Nothing, "[]", "workspaceSymbolProvider", "true"},
    {"textDocument/codeAction", &Server::answer<&Server::on_code_action>, Needs::Document, "[]", "codeActionProvider",
     R"({"codeActionKinds":["quickfix"]})"},
    {"textDocument/semanticTokens/full", &Server::answer<&Server::on_semantic_tokens>, Needs::Document, R"({"data":[]})",
     "semanticTokensProvider", SemanticTokensCapability},
    {"textDocument/semanticTokens/range", &Server::answer<&Server::on_semantic_tokens_range>, Needs::Document, R"({"data":[]})",
     nullptr, nullptr},
    {"textDocument/formatting", &Server::answer<&Server::on_formatting>, Needs::Document, "[]", "documentFormattingProvider", "true"},
    {"textDocument/rangeFormatting", &Server::answer<&Server::on_range_formatting>, Needs::Document, "[]",
     "documentRangeFormattingProvider", "true"},
    {"textDocument/foldingRange", &Server::answer<&Server::on_folding_range>, Needs::Document, "[]", "foldingRangeProvider", "true"},
    {"textDocument/inlayHint", &Server::answer<&Server::on_inlay_hint>, Needs::Document, "[]", "inlayHintProvider", "true"},
    {"textDocument/selectionRange", &Server::answer<&Server::on_selection_range>, Needs::Document, "[]", "selectionRangeProvider",
     "true"},
};

const Server::MethodRow* Server::method_row(const std::string& method) {
    for (const MethodRow& row : methods_)
        if (method == row.method)
            return &row;
    return nullptr;
}

FeatureContext Server::feature_context(const Request& call) {
    const vorn::Project* project = call.document->list ? nullptr : projects_.find(call.document->project);
    return FeatureContext{call.document->text, *call.document->analysis, encoding_, snippets_,
                          [this](const std::string& path) { return file_text(path, disk_texts_); }, project,
                          call.document->path, &files_};
}

CompletionList Server::on_completion(Request& call) { return completion(feature_context(call), call.position); }
std::optional<Hover> Server::on_hover(Request& call) { return hover(feature_context(call), call.position); }
WrittenJson Server::on_document_symbol(Request& call) {
    return written_array(document_symbols(feature_context(call)), AnswerFraming);
}
std::optional<SignatureHelp> Server::on_signature_help(Request& call) {
    return signature_help(feature_context(call), call.position);
}

// Written as they are found: a large document's tokens are the largest answer there is.
WrittenJson Server::on_semantic_tokens(Request& call) {
    if (call.document->list)
        return {R"({"data":[]})"};
    return {semantic_tokens_json(call.document->text, *call.document->analysis, encoding_, {}, AnswerFraming)};
}

WrittenJson Server::on_semantic_tokens_range(Request& call) {
    if (call.document->list)
        return {R"({"data":[]})"};
    Position start = read_position(call.params.at("range").at("start"));
    Position end = read_position(call.params.at("range").at("end"));
    return {semantic_tokens_json(call.document->text, *call.document->analysis, encoding_, TokenWindow{start, end},
                                 AnswerFraming)};
}

WrittenJson Server::on_formatting(Request& call) {
    return {formatting(feature_context(call), call.params.at("options"), 0, UINT32_MAX)};
}

WrittenJson Server::on_range_formatting(Request& call) {
    auto [first, last] = lines_of(call.params);
    return {formatting(feature_context(call), call.params.at("options"), first, last)};
}

WrittenJson Server::on_folding_range(Request& call) {
    return written_array(folding_ranges(feature_context(call)), AnswerFraming);
}

std::vector<InlayHint> Server::on_inlay_hint(Request& call) {
    auto [first, last] = lines_of(call.params);
    return inlay_hints(feature_context(call), first, last);
}

std::vector<SelectionRange> Server::on_selection_range(Request& call) {
    const json& list = call.params.at("positions");
    if (!list.is_array())
        throw BadParams{"positions is an array"};
    std::vector<Position> positions;
    for (const json& at : list)
        positions.push_back(read_position(at));
    return selection_ranges(feature_context(call), positions);
}

json Server::on_definition(Request& call) {
    std::optional<Location> in_lists = definition_in_lists(*call.document, call.position);
    if (in_lists)
        return answer_json(*in_lists);
    // None, one, or every site a name of a shared file is defined at in some compile.
    std::vector<Location> found = definition(feature_context(call), call.position);
    if (found.empty())
        return nullptr;
    if (found.size() == 1)
        return answer_json(found.front());
    return answer_json(found);
}

// The symbols under the request's position, in the document's project.
std::vector<const vorn::Symbol*> Server::symbols_here(const Request& call, const vorn::Project*& project) {
    project = projects_.find(call.document->project);
    if (!project)
        return {};
    return symbols_at(project_context(*project), call.document->path, call.document->text, call.position);
}

std::vector<Location> Server::on_references(Request& call) {
    const vorn::Project* project;
    auto symbols = symbols_here(call, project);
    if (!project)
        return {};
    return references(project_context(*project), symbols, call.params.get<ReferenceParams>().include_declaration);
}

std::vector<DocumentHighlight> Server::on_highlight(Request& call) {
    const vorn::Project* project;
    auto symbols = symbols_here(call, project);
    if (!project)
        return {};
    return highlights(project_context(*project), symbols, call.document->path);
}

std::vector<DocumentLink> Server::on_document_link(Request& call) { return document_links(*call.document); }

PrepareRenameResult Server::on_prepare_rename(Request& call) {
    const vorn::Project* project;
    auto symbols = symbols_here(call, project);
    if (!project)
        throw Refusal{"the document is not in a project"};
    return prepare_rename(project_context(*project), symbols, call.document->path, call.position.line + 1);
}

WorkspaceEdit Server::on_rename(Request& call) {
    const vorn::Project* project;
    auto symbols = symbols_here(call, project);
    if (!project)
        throw Refusal{"the document is not in a project"};
    return rename(project_context(*project), symbols, call.params.get<RenameParams>().new_name);
}

std::vector<SymbolInformation> Server::on_workspace_symbol(Request& call) {
    std::string query = call.params.get<WorkspaceSymbolParams>().query;
    std::vector<SymbolInformation> result;
    for (const auto& [folder, project] : projects_.all())
        for (SymbolInformation& symbol : workspace_symbols(project_context(*project), query))
            result.push_back(std::move(symbol));
    return result;
}

std::vector<CodeAction> Server::on_code_action(Request& call) {
    const vorn::Project* project = projects_.find(call.document->project);
    if (!project || call.document->path.empty())
        return {};
    RangeReader ranges(encoding_, [this](const std::string& path) { return file_text(path, disk_texts_); });
    CodeActionContext context{*project, call.document->path, call.params.at("range").get<Range>(), encoding_,
                              [&](const std::string& path, const vorn::Location& where) {
                                  return ranges.range(path, where);
                              },
                              [this](const std::string& path) { return uri_of(path); },
                              [this](const std::string& path) { return file_text(path, disk_texts_); },
                              [this](const std::function<void(const std::string&, const std::string&)>& each) {
                                  for (const auto& [uri, document] : documents_)
                                      if (!document.path.empty())
                                          each(document.path, document.text.bytes());
                              },
                              &files_, side_by_side_};
    std::vector<CodeAction> actions = code_actions(context);
    disk_texts_.clear();
    return actions;
}

json Server::on_initialize(Request& call) {
    const json& params = call.params;
    if (!params.is_object())
        throw BadParams{"params must be an object"};
    const json capabilities = params.value("capabilities", json::object());
    json encodings = capabilities.value("/general/positionEncodings"_json_pointer, json::array());
    if (encodings.is_array() && std::find(encodings.begin(), encodings.end(), "utf-8") != encodings.end())
        encoding_ = Encoding::Utf8;
    snippets_ = capabilities.value("/textDocument/completion/completionItem/snippetSupport"_json_pointer, false);
    watch_registration_ =
        capabilities.value("/workspace/didChangeWatchedFiles/dynamicRegistration"_json_pointer, false);
    tokens_refresh_ = capabilities.value("/workspace/semanticTokens/refreshSupport"_json_pointer, false);
    configuration_ = capabilities.value("/workspace/configuration"_json_pointer, false);
    if (params.contains("initializationOptions"))
        take_settings(params["initializationOptions"]);
    auto add_root = [this](const json& uri) {
        if (uri.is_string()) {
            std::string path = uri_to_path(uri.get<std::string>());
            if (!path.empty())
                roots_.push_back(std::filesystem::path(path).lexically_normal().string());
        }
    };
    if (params.contains("workspaceFolders") && params["workspaceFolders"].is_array())
        for (const json& folder : params["workspaceFolders"])
            if (folder.is_object() && folder.contains("uri"))
                add_root(folder["uri"]);
    if (roots_.empty() && params.contains("rootUri"))
        add_root(params["rootUri"]);
    if (roots_.empty() && params.contains("rootPath") && params["rootPath"].is_string())
        add_root(path_to_uri(params["rootPath"].get<std::string>()));
    for (std::string& root : roots_)
        if (root.size() > 1 && root.back() == '/')
            root.pop_back();
    json server = {
        {"positionEncoding", encoding_ == Encoding::Utf8 ? "utf-8" : "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", 2}, {"save", {{"includeText", false}}}}},
    };
    for (const MethodRow& row : methods_)
        if (row.capability)
            server[row.capability] = json::parse(row.capability_value);
    return {{"capabilities", server}, {"serverInfo", {{"name", "vorn-lsp"}, {"version", VORN_VERSION}}}};
}

void Server::notification(const std::string& method, json& params) {
    const MethodRow* row = method_row(method);
    if (!row || (row->needs != Needs::Notification && row->handler != &Server::notice<&Server::exit>))
        return;
    // Before initialize only exit is taken; a notification's params are an object.
    if (row->needs == Needs::Notification && (!initialized_ || !params.is_object()))
        return;
    Request call{params, nullptr, {}};
    (this->*row->handler)(call);
}

json Server::on_shutdown(Request&) {
    shut_down_ = true;
    return nullptr;
}

void Server::exit(const json&) { exit_status_ = shut_down_ ? 0 : 1; }

void Server::initialized(const json&) {
    if (configuration_)
        ask_configuration();
    if (watch_registration_) {
        // Scripts and lists anywhere: a list that appears makes a new project.
        // Folders too, created and deleted: a folder renamed moves its includes.
        constexpr int CreateAndDelete = 1 | 4;
        json watchers = json::array({{{"globPattern", "**/*.vs"}},
                                     {{"globPattern", "**/*.lst"}},
                                     {{"globPattern", "**/*"}, {"kind", CreateAndDelete}}});
        json registration = {{"id", "vorn-watched-files"},
                             {"method", "workspace/didChangeWatchedFiles"},
                             {"registerOptions", {{"watchers", watchers}}}};
        send({{"jsonrpc", "2.0"},
              {"id", "vorn-register-watchers"},
              {"method", "client/registerCapability"},
              {"params", {{"registrations", json::array({registration})}}}});
    }
}

// Settings pushed with the notification are taken; a client that answers
// workspace/configuration is asked again.
void Server::configuration_changed(const json& params) {
    if (!take_settings(params.value("settings", json())) && configuration_)
        ask_configuration();
}

// ---- Settings ---------------------------------------------------------------------------------

void Server::ask_configuration() {
    send({{"jsonrpc", "2.0"},
                     {"id", ConfigurationRequest + std::to_string(++configuration_requests_)},
                     {"method", "workspace/configuration"},
                     {"params", {{"items", json::array({{{"section", "vorn"}}})}}}});
}

// Takes vorn.warnings from settings; whether they held it. A change of the warnings makes
// every project again, each compile looking for the new ones.
bool Server::take_settings(const json& settings) {
    std::optional<WarningsSetting> warnings = warnings_setting(settings);
    if (!warnings)
        return false;
    if (!warnings->unknown.empty()) {
        std::string list;
        for (const std::string& entry : warnings->unknown)
            list += (list.empty() ? "" : ", ") + entry;
        send({{"jsonrpc", "2.0"},
                         {"method", "window/showMessage"},
                         {"params", {{"type", 2}, {"message", "vorn.warnings: not a warning option: " + list}}}});
    }
    if (warnings_ && warnings_->same_as(warnings->enabled))
        return true;
    if (!warnings_ && warnings->enabled.same_as(vorn::WarningSet::defaults())) {
        warnings_ = warnings->enabled;
        return true;
    }
    warnings_ = warnings->enabled;
    projects_.set_warnings(*warnings_);
    std::vector<std::string> folders;
    for (const auto& [folder, project] : projects_.all())
        folders.push_back(folder);
    for (const std::string& folder : folders)
        projects_.close(folder);
    for (auto& [uri, document] : documents_) {
        document.dirty = true;
        publisher_.touch(uri);
    }
    return true;
}

// ---- Documents --------------------------------------------------------------------------------

Document* Server::fresh_document(const std::string& uri) {
    Document* found = documents_.find(uri);
    // Any changed document first: a change to a shared file changes what this one means.
    if (found && (!touched_.empty() || std::any_of(documents_.begin(), documents_.end(),
                                                   [](const auto& entry) { return entry.second.dirty; })))
        compile_dirty();
    return found;
}

void Server::open(DidOpenParams params) {
    if (carried_)
        restore_stray_bytes(params.text);
    publisher_.touch(params.uri, true);
    documents_.open(std::move(params));
}

void Server::change(DidChangeParams params) {
    if (carried_)
        for (ContentChange& change : params.changes)
            restore_stray_bytes(change.text);
    std::string uri = params.uri;
    if (documents_.change(std::move(params), encoding_))
        publisher_.touch(uri, true);
}

void Server::close(const DocumentParams& params) {
    Document* document = documents_.find(params.uri);
    if (!document)
        return;
    std::string path = document->path;
    std::string uri = document->uri;
    std::string folder = document->project;
    documents_.close(uri);
    publisher_.own(uri, {});
    publisher_.touch(uri, true);
    if (folder.empty())
        return;
    bool used = std::any_of(documents_.begin(), documents_.end(),
                            [&](const auto& entry) { return entry.second.project == folder; });
    if (!used) {
        // The project goes with its last document, and so do its findings.
        projects_.close(folder);
        publisher_.forget(folder);
        touched_.erase(folder);
        return;
    }
    if (vorn::Project* project = projects_.find(folder))
        project->forget(path);
    touched_.insert(folder);
}

void Server::saved(const DocumentParams& params) {
    Document* document = documents_.find(params.uri);
    if (!document || document->project.empty())
        return;
    publisher_.touch(document->uri, true);
    if (vorn::Project* project = projects_.find(document->project)) {
        project->changed(document->path);
        touched_.insert(document->project);
    }
}

void Server::watched_files_changed(const DidChangeWatchedFilesParams& params) {
    for (const FileEvent& change : params.changes) {
        std::string path = document_path(change.uri);
        if (path.empty())
            continue;
        for (vorn::Project* project : projects_.holding(path)) {
            if (change.type == FileEvent::Created)
                project->added(path);
            else if (change.type == FileEvent::Deleted)
                project->removed(path);
            else
                project->changed(path);
            touched_.insert(project->folder());
        }
    }
}

// ---- Compiling --------------------------------------------------------------------------------

std::string Server::root_of(const std::string& path) const {
    std::string best;
    for (const std::string& root : roots_)
        if (inside_folder(path, root) && root.size() > best.size())
            best = root;
    return best;
}

// Serves the document's text to its project, which may have changed with the lists.
void Server::place(Document& document) {
    document.dirty = false;
    std::string folder;
    if (!document.path.empty()) {
        std::vector<std::string> open_paths;
        for (const auto& [uri, other] : documents_)
            if (!other.path.empty())
                open_paths.push_back(other.path);
        folder = vorn::find_project_folder(files_, document.path, root_of(document.path), open_paths);
    }
    if (folder != document.project && !document.project.empty()) {
        if (vorn::Project* old = projects_.find(document.project))
            old->forget(document.path);
        touched_.insert(document.project);
    }
    document.project = folder;
    publisher_.own(document.uri, {});
    if (folder.empty()) {
        document.analysis = std::make_unique<Analysis>();
        if (!document.list)
            publisher_.own(document.uri, {Diagnostic{
                line_range(0, 0, 0), SeverityError, "no-project",
                "No folder from here up to the workspace root holds both " + std::string(vorn::EventListFile) +
                    " and " + vorn::CommandListFile, {}}});
        return;
    }
    bool fresh = projects_.find(folder) == nullptr;
    vorn::Project& project = projects_.at(folder);
    if (fresh) {
        // A new project sees every open document inside it.
        for (auto& [uri, other] : documents_)
            if (&other != &document && !other.path.empty() && inside_folder(other.path, folder))
                project.serve(other.path, other.text.shared_bytes());
    }
    project.serve(document.path, document.text.shared_bytes());
    touched_.insert(folder);
}

// The document's features look at the compile of the first top script that reaches it.
void Server::analyse(Document& document) {
    auto analysis = std::make_unique<Analysis>();
    vorn::Project* project = document.list ? nullptr : projects_.find(document.project);
    if (project) {
        analysis->project = project->folder();
        analysis->script = project->key(document.path);
        std::vector<std::string> tops = project->tops_reaching(document.path);
        if (!tops.empty())
            analysis->result = project->shared_compile_of(tops.front());
        analysis->index();
    }
    document.analysis = std::move(analysis);
}

// Whether the compile in hand, of the project in folder, is to be abandoned: the stop check of
// the call in hand says so (for a request, when it has been cancelled; between messages, when a
// change to a document inside compiling() waits, which makes the compile's findings stale
// before they are shown).
bool Server::stop_compile(const std::string& folder) {
    compiling_ = folder;
    return stopped();
}

// Serves what changed to the projects, then publishes what changed: every file whose findings
// differ from what it showed, and every document that changed. A project whose compile was
// abandoned stays touched and publishes nothing: it is compiled again, with the newest text,
// by the next call.
void Server::compile_dirty() {
    for (auto& [uri, document] : documents_)
        if (document.dirty)
            place(document);
    // What a project compiles may have changed on disk: read the files again.
    if (!touched_.empty())
        disk_texts_.clear();
    bool interrupted = false;
    std::size_t reanalysed = 0;
    for (auto next = touched_.begin(); next != touched_.end();) {
        const std::string& folder = *next;
        vorn::Project* project = projects_.find(folder);
        if (project && project->interrupted() && !stop_compile(folder))
            project->resume();
        if (project && project->interrupted()) {
            interrupted = true;
            ++next;
            continue;
        }
        if (project) {
            for (auto& [uri, document] : documents_)
                if (document.project == folder) {
                    analyse(document);
                    ++reanalysed;
                }
            collect_diagnostics(folder);
        }
        next = touched_.erase(next);
    }
    // What waits to be published may come from the abandoned compile's project.
    if (interrupted)
        return;
    // A change to one file can change what the names of another mean (a definition in a
    // shared file), and an editor asks again only for the document it changed.
    if (tokens_refresh_ && reanalysed > 1)
        send({{"jsonrpc", "2.0"},
                         {"id", "vorn-tokens-refresh-" + std::to_string(++refresh_requests_)},
                         {"method", "workspace/semanticTokens/refresh"}});
    publish();
}

std::string Server::uri_of(const std::string& path) const {
    const Document* open = documents_.find_path(path);
    return open ? open->uri : path_to_uri(path);
}

const Text* Server::file_text(const std::string& path,
                              std::map<std::string, std::unique_ptr<Text>>& cache) const {
    if (const Document* open = documents_.find_path(path))
        return &open->text;
    auto found = cache.find(path);
    if (found == cache.end())
        found = cache.emplace(path, read_text(path)).first;
    return found->second.get();
}

std::unique_ptr<Text> Server::read_text(const std::string& path) const {
    std::optional<std::string> bytes = vorn::read_whole_file(files_, path, MaxDiskText);
    if (!bytes)
        return nullptr;
    return std::make_unique<Text>(std::move(*bytes));
}

// ---- Diagnostics ------------------------------------------------------------------------------

// What the project finds in each of its files, replacing what it found before.
void Server::collect_diagnostics(const std::string& folder) {
    const vorn::Project& project = *projects_.find(folder);
    std::vector<std::string> open_scripts;
    for (const auto& [uri, document] : documents_)
        if (document.project == folder && !document.list)
            open_scripts.push_back(uri);
    disk_texts_.clear();
    PublishSources sources{encoding_, [this](const std::string& path) { return file_text(path, disk_texts_); },
                           [this](const std::string& path) { return uri_of(path); }};
    std::map<std::string, std::vector<Diagnostic>> fresh = project_diagnostics(project, open_scripts, sources);
    disk_texts_.clear();
    publisher_.found(folder, std::move(fresh));
}

// Sends what is due, each open document with its version.
void Server::publish() {
    auto version = [this](const std::string& uri) -> std::optional<int64_t> {
        if (const Document* open = documents_.find(uri))
            return open->version;
        return std::nullopt;
    };
    for (const PublishDiagnosticsParams& params : publisher_.take(version))
        send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"}, {"params", params}});
}

// ---- Features on the project ------------------------------------------------------------------

ProjectContext Server::project_context(const vorn::Project& project) {
    return ProjectContext{project, encoding_, [this](const std::string& path) { return file_text(path, disk_texts_); },
                          [this](const std::string& path) { return uri_of(path); },
                          [this](const std::function<void(const std::string&, const std::string&)>& each) {
                              for (const auto& [uri, document] : documents_)
                                  if (!document.path.empty())
                                      each(document.path, document.text.bytes());
                          },
                          &files_, side_by_side_};
}

std::optional<Location> Server::definition_in_lists(const Document& document, Position position) {
    vorn::Project* project = projects_.find(document.project);
    if (!project)
        return std::nullopt;
    ProjectContext context = project_context(*project);
    return list_definition(context, symbols_at(context, document.path, document.text, position));
}

// A link on the name of every include line of the document to the file it opened.
std::vector<DocumentLink> Server::document_links(const Document& document) {
    std::vector<DocumentLink> links;
    const Analysis* analysis = document.analysis.get();
    if (!analysis || analysis->top < 0)
        return links;
    for (std::size_t i = 0; i < analysis->result->files.size(); ++i) {
        const vorn::SourceRecord& file = analysis->result->files[i];
        if (file.includer != analysis->top || file.include_line == 0 ||
            file.include_line > document.text.line_count())
            continue;
        std::string_view raw = document.text.line(file.include_line - 1);
        Token name = include_of(raw);
        if (name.kind != TokenKind::IncludeName)
            continue;
        Range range = line_range(file.include_line - 1, character_of(raw, name.begin, encoding_),
                                 character_of(raw, name.end, encoding_));
        links.push_back(DocumentLink{range, uri_of(analysis->paths[i])});
    }
    return links;
}

void Server::reply(const json& id, json result) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void Server::error(const json& id, int code, const std::string& message) {
    send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

}  // namespace lsp
