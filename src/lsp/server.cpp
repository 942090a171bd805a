#include "server.h"


#include <algorithm>
#include <filesystem>
#include <new>

#include "features.h"
#include "line_view.h"

#include <vorn/project.h>

namespace lsp {

namespace {

// JSON-RPC and protocol error codes.
constexpr int ParseError = -32700, InvalidRequest = -32600, MethodNotFound = -32601,
              InvalidParams = -32602, InternalError = -32603, ServerNotInitialized = -32002;

constexpr int SeverityError = 1;
// A file shows at most this many diagnostics: a binary file would give one for nearly every line.
constexpr std::size_t MaxDiagnosticsPerFile = 1000;
// An include line links to at most this many errors of the files it includes.
constexpr std::size_t MaxRelated = 100;
// Files read from disk for positions are not read past this size.
constexpr std::size_t MaxDiskText = 64 << 20;

std::string base_name(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_list_file(const std::string& path) {
    std::string name = base_name(path);
    return name == vorn::EventListFile || name == vorn::CommandListFile;
}

std::string folder_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A position from params, or nullopt when it is not one.
std::optional<Position> position_of(const json& params) {
    const json& position = params.at("position");
    const json& line = position.at("line");
    const json& character = position.at("character");
    if (!line.is_number_unsigned() || !character.is_number_unsigned())
        return std::nullopt;
    return Position{static_cast<uint32_t>(std::min<uint64_t>(line.get<uint64_t>(), UINT32_MAX)),
                    static_cast<uint32_t>(std::min<uint64_t>(character.get<uint64_t>(), UINT32_MAX))};
}

// An error thrown for a request whose parameters cannot be used.
struct BadParams {
    std::string what;
};

std::unique_ptr<Text> read_text(const std::string& path) {
    vorn::FileSystemProvider disk;
    disk.open_regular_files_only();
    std::optional<std::string> bytes = vorn::read_whole_file(disk, path, MaxDiskText);
    if (!bytes)
        return nullptr;
    return std::make_unique<Text>(std::move(*bytes));
}

}  // namespace

int Server::run() {
    for (;;) {
        // Compiles wait until the input is drained, so a burst of changes costs one compile.
        if (!transport_.pending())
            compile_dirty();
        Incoming in = transport_.read();
        switch (in.status) {
        case Read::End:
            return exit_status_.value_or(0);
        case Read::Malformed:
            error(nullptr, ParseError, "the message is not framed JSON");
            break;
        case Read::TooLarge:
            error(nullptr, InvalidRequest, "the message is too large");
            break;
        case Read::Message:
            handle(in.message, in.stray_bytes);
            break;
        }
        if (exit_status_)
            return *exit_status_;
        if (transport_.broken())
            return 1;
    }
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
        // A response to one of our requests (the watcher registration): nothing to do.
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
    json params = message.contains("params") ? message["params"] : json::object();
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

void Server::request(const json& id, const std::string& method, const json& params) {
    if (method == "initialize") {
        if (initialized_)
            return error(id, InvalidRequest, "initialize was sent twice");
        initialized_ = true;
        return reply(id, initialize(params));
    }
    if (!initialized_)
        return error(id, ServerNotInitialized, "the server is not initialized");
    if (shut_down_)
        return error(id, InvalidRequest, "the server is shutting down");
    if (method == "shutdown") {
        shut_down_ = true;
        return reply(id, nullptr);
    }
    bool symbols = method == "textDocument/documentSymbol";
    bool known = symbols || method == "textDocument/completion" || method == "textDocument/hover" ||
                 method == "textDocument/definition" || method == "textDocument/signatureHelp";
    if (!known)
        return error(id, MethodNotFound, "unknown method " + method);
    if (!params.is_object())
        throw BadParams{"params must be an object"};
    Document* document = fresh_document(params);
    std::optional<Position> position;
    if (!symbols) {
        position = position_of(params);
        if (!position)
            throw BadParams{"a position is two unsigned numbers"};
    }
    if (!document || !document->analysis) {
        // A document that is not open (or a list) has nothing to offer.
        if (method == "textDocument/completion")
            return reply(id, {{"isIncomplete", false}, {"items", json::array()}});
        return reply(id, symbols ? json::array() : json());
    }
    disk_texts_.clear();
    FeatureContext context{document->text, *document->analysis, encoding_, snippets_,
                           [this](const std::string& path) { return file_text(path, disk_texts_); }};
    json result;
    if (method == "textDocument/completion")
        result = completion(context, *position);
    else if (method == "textDocument/hover")
        result = hover(context, *position);
    else if (method == "textDocument/definition")
        result = definition(context, *position);
    else if (symbols)
        result = document_symbols(context);
    else
        result = signature_help(context, *position);
    disk_texts_.clear();
    reply(id, std::move(result));
}

json Server::initialize(const json& params) {
    if (!params.is_object())
        throw BadParams{"params must be an object"};
    const json capabilities = params.value("capabilities", json::object());
    json encodings = capabilities.value("/general/positionEncodings"_json_pointer, json::array());
    if (encodings.is_array() && std::find(encodings.begin(), encodings.end(), "utf-8") != encodings.end())
        encoding_ = Encoding::Utf8;
    snippets_ = capabilities.value("/textDocument/completion/completionItem/snippetSupport"_json_pointer, false);
    watch_registration_ =
        capabilities.value("/workspace/didChangeWatchedFiles/dynamicRegistration"_json_pointer, false);
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
        {"textDocumentSync", {{"openClose", true}, {"change", 1}, {"save", {{"includeText", false}}}}},
        {"completionProvider", {{"triggerCharacters", {"(", ","}}, {"resolveProvider", false}}},
        {"hoverProvider", true},
        {"definitionProvider", true},
        {"documentSymbolProvider", true},
        {"signatureHelpProvider", {{"triggerCharacters", {"(", ","}}}},
    };
    return {{"capabilities", server}, {"serverInfo", {{"name", "vorn-lsp"}, {"version", VORN_VERSION}}}};
}

void Server::notification(const std::string& method, json& params) {
    if (method == "exit") {
        exit_status_ = shut_down_ ? 0 : 1;
        return;
    }
    if (!initialized_ || !params.is_object())
        return;
    if (method == "initialized") {
        if (watch_registration_) {
            json watchers = json::array({{{"globPattern", std::string("**/") + vorn::EventListFile}},
                                         {{"globPattern", std::string("**/") + vorn::CommandListFile}},
                                         {{"globPattern", "**/*.vs"}}});
            json registration = {{"id", "vorn-watched-files"},
                                 {"method", "workspace/didChangeWatchedFiles"},
                                 {"registerOptions", {{"watchers", watchers}}}};
            transport_.send({{"jsonrpc", "2.0"},
                             {"id", "vorn-register-watchers"},
                             {"method", "client/registerCapability"},
                             {"params", {{"registrations", json::array({registration})}}}});
        }
    } else if (method == "textDocument/didOpen") {
        open(params);
    } else if (method == "textDocument/didChange") {
        change(params);
    } else if (method == "textDocument/didClose") {
        close(params);
    } else if (method == "textDocument/didSave") {
        saved(params);
    } else if (method == "workspace/didChangeWatchedFiles") {
        watched_files_changed(params);
    }
    // Every other notification ($/cancelRequest, $/setTrace...) needs nothing.
}

// ---- Documents --------------------------------------------------------------------------------

Document* Server::document(const json& params) {
    auto found = documents_.find(params.at("textDocument").at("uri").get<std::string>());
    return found == documents_.end() ? nullptr : &found->second;
}

Document* Server::fresh_document(const json& params) {
    Document* found = document(params);
    if (found && found->dirty && !found->list)
        compile_dirty();
    return found;
}

void Server::set_text(Document& document, std::string text) {
    document.text = Text(std::move(text));
    if (!document.path.empty())
        for (auto& [folder, provider] : providers_)
            provider->serve(document.path, document.text.bytes());
    document.dirty = true;
    if (document.list)
        lists_changed(folder_of(document.path));
    else
        readers_changed(document.path);
}

void Server::open(json& params) {
    const json& item = params.at("textDocument");
    std::string uri = item.at("uri").get<std::string>();
    std::string text = item.at("text").get<std::string>();
    if (carried_)
        restore_stray_bytes(text);
    Document& document = documents_[uri];
    document.uri = uri;
    document.path = uri_to_path(uri);
    if (!document.path.empty())
        document.path = std::filesystem::path(document.path).lexically_normal().string();
    document.list = is_list_file(document.path);
    document.version = item.value("version", int64_t{0});
    set_text(document, std::move(text));
}

void Server::change(json& params) {
    Document* document = this->document(params);
    if (!document)
        return;
    const json& changes = params.at("contentChanges");
    std::string text = document->text.bytes();
    for (const json& change : changes) {
        std::string piece = change.at("text").get<std::string>();
        if (carried_)
            restore_stray_bytes(piece);
        if (!change.contains("range")) {
            text = std::move(piece);
            continue;
        }
        // A ranged change, for a client that sends them anyway.
        Text current(text);
        const json& range = change["range"];
        auto at = [&](const json& position) {
            return current.offset(Position{position.at("line").get<uint32_t>(),
                                           position.at("character").get<uint32_t>()},
                                  encoding_);
        };
        std::size_t begin = at(range.at("start"));
        std::size_t end = std::max(begin, at(range.at("end")));
        text.replace(begin, end - begin, piece);
    }
    document->version = params.at("textDocument").value("version", document->version);
    set_text(*document, std::move(text));
}

void Server::close(const json& params) {
    Document* document = this->document(params);
    if (!document)
        return;
    std::string path = document->path;
    std::string uri = document->uri;
    bool list = document->list;
    std::map<std::string, json> published = std::move(document->diagnostics);
    documents_.erase(uri);
    if (!path.empty())
        for (auto& [folder, provider] : providers_)
            provider->forget(path);
    // Providers of folders that no document uses any more go.
    for (auto it = providers_.begin(); it != providers_.end();) {
        bool used = std::any_of(documents_.begin(), documents_.end(), [&](const auto& entry) {
            return entry.second.analysis && entry.second.analysis->project == it->first;
        });
        it = used ? std::next(it) : providers_.erase(it);
    }
    published.emplace(uri, json::array());
    for (const auto& [target, diagnostics] : published)
        to_publish_[target] |= target == uri;
    if (list)
        lists_changed(folder_of(path));
    else if (!path.empty())
        readers_changed(path);
}

void Server::saved(const json& params) {
    Document* document = this->document(params);
    if (!document)
        return;
    document->dirty = true;
    if (document->list)
        lists_changed(folder_of(document->path));
}

void Server::watched_files_changed(const json& params) {
    for (const json& change : params.at("changes")) {
        std::string path = uri_to_path(change.at("uri").get<std::string>());
        if (path.empty())
            continue;
        path = std::filesystem::path(path).lexically_normal().string();
        if (is_list_file(path))
            lists_changed(folder_of(path));
        else
            readers_changed(path);
    }
}

// Every script of the folder's project is checked again; so is every script below it, whose
// project the change may have made or unmade.
void Server::lists_changed(const std::string& folder) {
    for (auto& [uri, document] : documents_) {
        if (document.list)
            continue;
        bool below = !folder.empty() && document.path.compare(0, folder.size() + 1, folder + "/") == 0;
        if (below || (document.analysis && document.analysis->project == folder))
            document.dirty = true;
    }
}

void Server::readers_changed(const std::string& path) {
    for (auto& [uri, document] : documents_)
        if (!document.list && document.path != path && document.reads.count(path))
            document.dirty = true;
}

// ---- Compiling --------------------------------------------------------------------------------

std::string Server::root_of(const std::string& path) const {
    std::string best;
    for (const std::string& root : roots_) {
        bool inside = root == "/" || (path.compare(0, root.size(), root) == 0 &&
                                      (path.size() == root.size() || path[root.size()] == '/'));
        if (inside && root.size() > best.size())
            best = root;
    }
    return best;
}

vorn::OverlayProvider& Server::provider(const std::string& folder) {
    std::unique_ptr<vorn::OverlayProvider>& slot = providers_[folder];
    if (!slot) {
        slot = std::make_unique<vorn::OverlayProvider>(folder);
        slot->open_regular_files_only();
        for (const auto& [uri, document] : documents_)
            if (!document.path.empty())
                slot->serve(document.path, document.text.bytes());
    }
    return *slot;
}

void Server::compile(Document& document) {
    std::vector<std::string> open_paths;
    for (const auto& [uri, other] : documents_)
        if (!other.path.empty())
            open_paths.push_back(other.path);
    auto analysis = std::make_unique<Analysis>();
    analysis->project = vorn::find_project_folder(document.path, root_of(document.path), open_paths);
    document.reads.clear();
    if (!analysis->project.empty()) {
        analysis->script = relative_to(document.path, analysis->project);
        vorn::CompileOptions options;
        options.keep_going = true;
        options.record_lines = true;
        vorn::NullSink quiet;
        analysis->result = compiler_.compile(analysis->script, provider(analysis->project), quiet, options);
        analysis->index();
        document.reads.insert(analysis->paths.begin(), analysis->paths.end());
    }
    document.analysis = std::move(analysis);
    document.dirty = false;
    collect_diagnostics(document);
}

// Compiles every document that needs it, then publishes what changed: a file that two
// documents compile shows their findings once both are in.
void Server::compile_dirty() {
    for (auto& [uri, document] : documents_)
        if (document.dirty && !document.list)
            compile(document);
    for (const auto& [uri, always] : to_publish_)
        publish(uri, always);
    to_publish_.clear();
}

std::string Server::uri_of(const std::string& path) const {
    for (const auto& [uri, document] : documents_)
        if (document.path == path)
            return uri;
    return path_to_uri(path);
}

const Text* Server::file_text(const std::string& path,
                              std::map<std::string, std::unique_ptr<Text>>& cache) const {
    for (const auto& [uri, document] : documents_)
        if (document.path == path)
            return &document.text;
    auto found = cache.find(path);
    if (found == cache.end())
        found = cache.emplace(path, read_text(path)).first;
    return found->second.get();
}

// ---- Diagnostics ------------------------------------------------------------------------------

void Server::collect_diagnostics(Document& document) {
    const Analysis& analysis = *document.analysis;
    std::map<std::string, json> fresh;
    fresh[document.uri] = json::array();
    auto entry = [](json range, const std::string& code, const std::string& message) {
        return json{{"range", std::move(range)}, {"severity", SeverityError}, {"source", "vorn"},
                    {"code", code}, {"message", message}};
    };
    if (analysis.project.empty()) {
        fresh[document.uri].push_back(entry(range_json(0, 0, 0), "no-project",
                                            "No folder from here up to the workspace root holds both " +
                                                std::string(vorn::EventListFile) + " and " +
                                                vorn::CommandListFile));
    }
    std::map<std::string, std::unique_ptr<Text>> texts;
    std::map<std::string, std::unique_ptr<ColumnConverter>> converters;
    // The errors of other files, by the document's line that leads to them (0: no include
    // line does, as for the lists).
    std::map<uint32_t, std::vector<const vorn::Diagnostic*>> elsewhere;
    std::map<const vorn::Diagnostic*, std::pair<std::string, json>> located;
    for (const vorn::Diagnostic& diagnostic : analysis.result.diagnostics) {
        int source = diagnostic.source;
        std::string path;
        if (source >= 0)
            path = analysis.paths[static_cast<std::size_t>(source)];
        else if (!diagnostic.where.file.empty())
            path = absolute_in(diagnostic.where.file, analysis.project);
        else
            path = document.path;
        const Text* text = file_text(path, texts);
        json range;
        const vorn::Location& where = diagnostic.where;
        if (text && where.line > 0 && where.column > 0) {
            auto& converter = converters[path];
            if (!converter)
                converter = std::make_unique<ColumnConverter>(*text, encoding_);
            uint32_t line = where.line - 1;
            uint32_t start = converter->character(line, where.column - 1);
            uint32_t end = converter->character(line, std::max(where.end_column, where.column) - 1);
            range = range_json(line, start, end);
        } else {
            range = range_of(text, where, encoding_);
        }
        std::string uri = path == document.path ? document.uri : uri_of(path);
        json& list = fresh[uri];
        if (list.size() < MaxDiagnosticsPerFile)
            list.push_back(entry(range, vorn::kind_name(diagnostic.kind), diagnostic.text));
        if (source != analysis.top && path != document.path) {
            elsewhere[analysis.document_line(source, where.line)].push_back(&diagnostic);
            located[&diagnostic] = {uri, range};
        }
    }
    for (const auto& [line, diagnostics] : elsewhere) {
        json range = range_json(0, 0, 0);
        if (line > 0) {
            std::string_view raw = document.text.line(line - 1);
            Token name = include_of(raw);
            range = name.kind == TokenKind::IncludeName
                        ? range_json(line - 1, character_of(raw, name.begin, encoding_),
                                     character_of(raw, name.end, encoding_))
                        : range_json(line - 1, 0, character_of(raw, raw.size(), encoding_));
        }
        const vorn::Diagnostic& first = *diagnostics.front();
        std::string where = first.where.file.empty() ? "a file" : first.where.file;
        std::string message = diagnostics.size() == 1
                                  ? "In " + where + ": " + first.text
                                  : std::to_string(diagnostics.size()) + " errors in other files; the first, in " +
                                        where + ": " + first.text;
        json related = json::array();
        for (const vorn::Diagnostic* diagnostic : diagnostics) {
            if (related.size() == MaxRelated)
                break;
            const auto& [uri, at] = located[diagnostic];
            related.push_back({{"location", {{"uri", uri}, {"range", at}}}, {"message", diagnostic->text}});
        }
        json summary = entry(range, vorn::kind_name(first.kind), message);
        summary["relatedInformation"] = std::move(related);
        fresh[document.uri].push_back(std::move(summary));
    }
    std::map<std::string, json> previous = std::move(document.diagnostics);
    document.diagnostics = std::move(fresh);
    for (const auto& [uri, diagnostics] : previous)
        to_publish_[uri] |= false;
    for (const auto& [uri, diagnostics] : document.diagnostics)
        to_publish_[uri] |= uri == document.uri;
}

// Publishes what every open document's compile found in the file at uri, each diagnostic
// once; unless always, only when it differs from what was published last.
void Server::publish(const std::string& uri, bool always) {
    json diagnostics = json::array();
    std::set<std::string> seen;
    for (const auto& [key, document] : documents_) {
        auto found = document.diagnostics.find(uri);
        if (found == document.diagnostics.end())
            continue;
        for (const json& diagnostic : found->second)
            if (diagnostics.size() < MaxDiagnosticsPerFile && seen.insert(diagnostic.dump()).second)
                diagnostics.push_back(diagnostic);
    }
    std::string text = diagnostics.dump();
    auto last = published_.find(uri);
    bool same = last == published_.end() ? diagnostics.empty() : last->second == text;
    if (same && !always)
        return;
    if (diagnostics.empty())
        published_.erase(uri);
    else
        published_[uri] = text;
    json params = {{"uri", uri}, {"diagnostics", std::move(diagnostics)}};
    auto open = documents_.find(uri);
    if (open != documents_.end())
        params["version"] = open->second.version;
    transport_.send({{"jsonrpc", "2.0"}, {"method", "textDocument/publishDiagnostics"}, {"params", params}});
}

void Server::reply(const json& id, json result) {
    transport_.send({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}});
}

void Server::error(const json& id, int code, const std::string& message) {
    transport_.send({{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

}  // namespace lsp
