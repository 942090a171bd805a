// The documents the client has open: their text as the client last sent it, and its version.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis.h"
#include "params.h"
#include "text.h"

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

class DocumentStore {
public:
    using Map = std::map<std::string, Document>;  // by URI

    // Opens the document (again, when it is open: its text and version replace the old ones).
    // The new text is dirty.
    Document& open(DidOpenParams params);
    // Applies the changes in order, each to the text the one before left; the version is the
    // one given, else the old one. nullptr when the document is not open.
    Document* change(DidChangeParams params, Encoding encoding);
    // Whether it was open.
    bool close(const std::string& uri);

    Document* find(const std::string& uri);
    const Document* find(const std::string& uri) const;
    // The open document of a file (absolute, normal path); nullptr when there is none.
    const Document* find_path(const std::string& path) const;

    Map::iterator begin() { return documents_.begin(); }
    Map::iterator end() { return documents_.end(); }
    Map::const_iterator begin() const { return documents_.begin(); }
    Map::const_iterator end() const { return documents_.end(); }

private:
    Map documents_;
};

// The document's path as the server keys files: the URI's path, normal; empty for a URI that
// is not a file's.
std::string document_path(const std::string& uri);
// Whether path names one of the lists (events.lst, command.lst).
bool is_list_file(const std::string& path);
// text with the changes applied in order.
std::string apply_changes(std::string text, const std::vector<ContentChange>& changes, Encoding encoding);

}  // namespace lsp
