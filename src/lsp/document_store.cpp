#include "document_store.h"

#include <algorithm>
#include <filesystem>

#include <vorn/language.h>

namespace lsp {

std::string document_path(const std::string& uri) {
    std::string path = uri_to_path(uri);
    return path.empty() ? path : std::filesystem::path(path).lexically_normal().string();
}

bool is_list_file(const std::string& path) {
    std::size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name == vorn::EventListFile || name == vorn::CommandListFile;
}

std::string apply_changes(std::string text, const std::vector<ContentChange>& changes, Encoding encoding) {
    for (const ContentChange& change : changes) {
        if (change.range)
            apply_edit(text, change.range->start, change.range->end, change.text, encoding);
        else
            text = change.text;
    }
    return text;
}

Document& DocumentStore::open(DidOpenParams params) {
    Document& document = documents_[params.uri];
    document.uri = params.uri;
    document.path = document_path(params.uri);
    document.list = is_list_file(document.path);
    document.version = params.version;
    document.text = Text(std::move(params.text));
    document.dirty = true;
    return document;
}

Document* DocumentStore::change(DidChangeParams params, Encoding encoding) {
    Document* document = find(params.uri);
    if (!document)
        return nullptr;
    // A whole text replaces everything before it: start from the last one, moved, and copy
    // the old text only for edits to it.
    auto whole = std::find_if(params.changes.rbegin(), params.changes.rend(),
                              [](const ContentChange& change) { return !change.range; });
    std::string text = whole == params.changes.rend() ? document->text.bytes() : std::move(whole->text);
    for (auto edit = whole.base(); edit != params.changes.end(); ++edit)
        apply_edit(text, edit->range->start, edit->range->end, edit->text, encoding);
    document->text = Text(std::move(text));
    document->version = params.version.value_or(document->version);
    document->dirty = true;
    return document;
}

bool DocumentStore::close(const std::string& uri) { return documents_.erase(uri) > 0; }

Document* DocumentStore::find(const std::string& uri) {
    auto found = documents_.find(uri);
    return found == documents_.end() ? nullptr : &found->second;
}

const Document* DocumentStore::find(const std::string& uri) const {
    auto found = documents_.find(uri);
    return found == documents_.end() ? nullptr : &found->second;
}

const Document* DocumentStore::find_path(const std::string& path) const {
    for (const auto& [uri, document] : documents_)
        if (document.path == path)
            return &document;
    return nullptr;
}

}  // namespace lsp
