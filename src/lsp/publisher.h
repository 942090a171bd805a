// Publishing diagnostics: what each project's compiles found, turned from the library's
// records into the protocol's, which URIs are due to be published, and what each URI showed
// last, so that only what changed goes out. The server tells it what happened (a project
// compiled, a document opened, changed or closed, a project closed) and sends what take gives.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <vorn/project.h>

#include "protocol.h"
#include "text.h"

namespace lsp {

// A file shows at most this many diagnostics: a binary file would give one for nearly every line.
constexpr std::size_t MaxDiagnosticsPerFile = 1000;
// An include line links to at most this many errors of the files it includes.
constexpr std::size_t MaxRelated = 100;

// The places the compiler names, as ranges of the protocol. One per batch of conversions: it
// keeps a column converter per file, so that a thousand diagnostics on one long line stay linear.
class RangeReader {
public:
    // text: an absolute path's text (an open document's, else the disk's); nullptr when unread.
    RangeReader(Encoding encoding, std::function<const Text*(const std::string& path)> text)
        : encoding_(encoding), text_(std::move(text)) {}
    // where: a place in the file at path (absolute).
    Range range(const std::string& path, const vorn::Location& where);

private:
    Encoding encoding_;
    std::function<const Text*(const std::string& path)> text_;
    std::map<std::string, std::unique_ptr<ColumnConverter>> converters_;
};

// What a conversion reads: the position encoding, the text of an absolute path, and the URI
// a path is shown under (an open document's own URI, else the path's).
struct PublishSources {
    Encoding encoding = Encoding::Utf16;
    std::function<const Text*(const std::string& path)> text;
    std::function<std::string(const std::string& path)> uri_of;
};

// What the project's compiles found, by URI, as the protocol shows it: each diagnostic once,
// its notes folded into its text and linked to where they stand; a shared file's diagnostic
// names the compiles it arises in and links to each includer's include line, and that line
// shows what it led to. An error of a list (or a list that cannot be read) shows on every
// script of open_scripts (URIs), so that none looks clean while a list is missing.
std::map<std::string, std::vector<Diagnostic>> project_diagnostics(const vorn::Project& project,
                                                                   const std::vector<std::string>& open_scripts,
                                                                   const PublishSources& sources);

class Publisher {
public:
    // What the project in folder found, replacing what it found before; every URI of either
    // is due, to be published when what it shows changes.
    void found(const std::string& folder, std::map<std::string, std::vector<Diagnostic>> by_uri);
    // The project in folder went: what it found is due to be taken back.
    void forget(const std::string& folder);
    // What a document shows of its own, outside any project (none: nothing).
    void own(const std::string& uri, std::vector<Diagnostic> diagnostics);
    // uri is due; always: published even when what it shows is what it showed (a document
    // opened, changed, saved or closed: the client takes the version).
    void touch(const std::string& uri, bool always = false);
    bool due() const { return !due_.empty(); }

    // The publications due, each URI once, in URI order: what every project found in it,
    // each diagnostic once, when that differs from what it showed last or it was touched
    // always. version: an open document's version (none: the URI is not open).
    std::vector<PublishDiagnosticsParams> take(const std::function<std::optional<int64_t>(const std::string& uri)>& version);

private:
    // The empty folder holds what documents show of their own.
    std::map<std::string, std::map<std::string, std::vector<Diagnostic>>> found_;
    std::map<std::string, std::vector<Diagnostic>> published_;  // the last non-empty publication, by URI
    std::map<std::string, bool> due_;                           // by URI: whether always
};

}  // namespace lsp
