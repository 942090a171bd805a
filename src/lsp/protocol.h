// The protocol's messages that the server builds, as C++ records; they turn into JSON only
// where they are sent.
#pragma once

#include <nlohmann/json.hpp>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <vorn/diagnostics.h>

#include "text.h"

namespace lsp {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Position, line, character)

struct Range {
    Position start;
    Position end;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Range, start, end)

struct Location {
    std::string uri;
    Range range;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Location, uri, range)

struct RelatedInformation {
    Location location;
    std::string message;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(RelatedInformation, location, message)

constexpr int SeverityError = 1;
constexpr int SeverityWarning = 2;
constexpr int SeverityInformation = 3;

// How a diagnostic of the compiler is shown: an error, a warning, or a note as information.
inline int severity_of(vorn::Severity severity) {
    switch (severity) {
    case vorn::Severity::Warning:
        return SeverityWarning;
    case vorn::Severity::Note:
        return SeverityInformation;
    case vorn::Severity::Error:
        break;
    }
    return SeverityError;
}

struct Diagnostic {
    Range range;
    int severity = SeverityError;
    std::string code;
    std::string message;
    std::vector<RelatedInformation> related;
};

inline bool operator==(const Position& a, const Position& b) {
    return a.line == b.line && a.character == b.character;
}
inline bool operator==(const Range& a, const Range& b) { return a.start == b.start && a.end == b.end; }
inline bool operator==(const Location& a, const Location& b) { return a.uri == b.uri && a.range == b.range; }
inline bool operator==(const RelatedInformation& a, const RelatedInformation& b) {
    return a.location == b.location && a.message == b.message;
}
inline bool operator==(const Diagnostic& a, const Diagnostic& b) {
    return a.range == b.range && a.severity == b.severity && a.code == b.code && a.message == b.message &&
           a.related == b.related;
}

inline void to_json(nlohmann::json& out, const Diagnostic& diagnostic) {
    out = {{"range", diagnostic.range}, {"severity", diagnostic.severity}, {"source", "vorn"},
           {"code", diagnostic.code}, {"message", diagnostic.message}};
    if (!diagnostic.related.empty())
        out["relatedInformation"] = diagnostic.related;
}

// The params of textDocument/publishDiagnostics; the version is left out for a document that
// is not open.
struct PublishDiagnosticsParams {
    std::string uri;
    std::optional<int64_t> version;
    std::vector<Diagnostic> diagnostics;
};
inline void to_json(nlohmann::json& out, const PublishDiagnosticsParams& params) {
    out = {{"uri", params.uri}, {"diagnostics", params.diagnostics}};
    if (params.version)
        out["version"] = *params.version;
}

// ---- The answers to requests -------------------------------------------------------------------
// Members named as the protocol names them are written by the macro; the others, and the
// records with fields left out when unset, have their own to_json.

struct DocumentHighlight {
    Range range;  // the kind is left out: the client takes it as text
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(DocumentHighlight, range)

struct DocumentLink {
    Range range;
    std::string target;  // a URI
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(DocumentLink, range, target)

struct TextEdit {
    Range range;
    std::string new_text;
};
inline void to_json(nlohmann::json& out, const TextEdit& edit) {
    out = {{"range", edit.range}, {"newText", edit.new_text}};
}

// Edits by URI; the URIs come out sorted, as in any JSON object the server writes.
struct WorkspaceEdit {
    std::map<std::string, std::vector<TextEdit>> changes;
};
inline void to_json(nlohmann::json& out, const WorkspaceEdit& edit) { out = {{"changes", edit.changes}}; }

struct PrepareRenameResult {
    Range range;
    std::string placeholder;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(PrepareRenameResult, range, placeholder)

struct SymbolInformation {
    std::string name;
    int kind = 0;  // the protocol's SymbolKind number
    Location location;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(SymbolInformation, name, kind, location)

struct MarkupContent {
    std::string kind;  // "markdown" or "plaintext"
    std::string value;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(MarkupContent, kind, value)

struct Hover {
    MarkupContent contents;
    Range range;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(Hover, contents, range)

constexpr int InsertSnippet = 2;  // the protocol's InsertTextFormat for a snippet

struct CompletionItem {
    std::string label;
    int kind = 0;  // the protocol's CompletionItemKind number
    std::string detail;
    TextEdit text_edit;
    bool snippet = false;                    // the edit's text is a snippet; left out when plain
    std::optional<std::string> filter_text;  // left out when the label is the filter
};
inline void to_json(nlohmann::json& out, const CompletionItem& item) {
    out = {{"label", item.label}, {"kind", item.kind}, {"detail", item.detail}, {"textEdit", item.text_edit}};
    if (item.snippet)
        out["insertTextFormat"] = InsertSnippet;
    if (item.filter_text)
        out["filterText"] = *item.filter_text;
}

struct CompletionList {
    bool is_incomplete = false;
    std::vector<CompletionItem> items;
};
inline void to_json(nlohmann::json& out, const CompletionList& list) {
    out = {{"isIncomplete", list.is_incomplete}, {"items", list.items}};
}

struct DocumentSymbol {
    std::string name;
    int kind = 0;  // the protocol's SymbolKind number
    std::string detail;
    Range range;            // the whole line
    Range selection_range;  // the name
};
inline void to_json(nlohmann::json& out, const DocumentSymbol& symbol) {
    out = {{"name", symbol.name}, {"kind", symbol.kind}, {"detail", symbol.detail},
           {"range", symbol.range}, {"selectionRange", symbol.selection_range}};
}

struct ParameterInformation {
    std::string label;
};
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE(ParameterInformation, label)

struct SignatureInformation {
    std::string label;
    std::string documentation;
    std::vector<ParameterInformation> parameters;
    int active_parameter = 0;
};
inline void to_json(nlohmann::json& out, const SignatureInformation& signature) {
    out = {{"label", signature.label}, {"documentation", signature.documentation},
           {"parameters", signature.parameters}, {"activeParameter", signature.active_parameter}};
}

struct SignatureHelp {
    std::vector<SignatureInformation> signatures;
    int active_signature = 0;
    int active_parameter = 0;
};
inline void to_json(nlohmann::json& out, const SignatureHelp& help) {
    out = {{"signatures", help.signatures}, {"activeSignature", help.active_signature},
           {"activeParameter", help.active_parameter}};
}

struct CodeAction {
    std::string title;
    std::vector<Diagnostic> diagnostics;  // the one it fixes
    WorkspaceEdit edit;
    bool preferred = false;  // the obvious fix, safe for every includer
};
inline void to_json(nlohmann::json& out, const CodeAction& action) {
    out = {{"title", action.title}, {"kind", "quickfix"}, {"diagnostics", action.diagnostics}, {"edit", action.edit}};
    if (action.preferred)
        out["isPreferred"] = true;
}

struct FoldingRange {
    uint32_t start_line;
    uint32_t end_line;
    bool comment = false;  // a run of comment lines; else a label's block
};
inline void to_json(nlohmann::json& out, const FoldingRange& range) {
    out = {{"startLine", range.start_line}, {"endLine", range.end_line}};
    if (range.comment)
        out["kind"] = "comment";
}

struct InlayHint {
    Position position;
    std::string label;  // set off from the text before it
};
inline void to_json(nlohmann::json& out, const InlayHint& hint) {
    out = {{"position", hint.position}, {"label", hint.label}, {"paddingLeft", true}};
}

// A range and the ranges holding it, innermost first: each holds the one before.
struct SelectionRange {
    std::vector<Range> chain;
};
inline void to_json(nlohmann::json& out, const SelectionRange& selection) {
    out = nullptr;
    for (auto it = selection.chain.rbegin(); it != selection.chain.rend(); ++it) {
        nlohmann::json inner = {{"range", *it}};
        if (!out.is_null())
            inner["parent"] = std::move(out);
        out = std::move(inner);
    }
}

// An answer already written out as JSON text, sent as it stands: for answers too large to
// build as a json value cheaply (the edits of formatting a whole file, a large document's
// semantic tokens).
struct WrittenJson {
    std::string text;
};

// An array of records written out as JSON text one record at a time: a long answer (a fold
// or a symbol for every label of a large document) is never held as one json value, which
// costs some ten times its text.
template <class T>
WrittenJson written_array(const std::vector<T>& items, std::size_t headroom = 0) {
    WrittenJson out;
    out.text.push_back('[');
    for (const T& item : items) {
        if (out.text.size() > 1)
            out.text.push_back(',');
        out.text += nlohmann::json(item).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    out.text.push_back(']');
    out.text.reserve(out.text.size() + headroom);
    return out;
}

// The JSON of a request's answer: a result that may be missing is answered with null.
inline nlohmann::json answer_json(nlohmann::json result) { return result; }
template <class T>
nlohmann::json answer_json(const T& result) {
    return result;
}
template <class T>
nlohmann::json answer_json(const std::optional<T>& result) {
    return result ? nlohmann::json(*result) : nlohmann::json(nullptr);
}

inline Range line_range(uint32_t line, uint32_t start, uint32_t end) {
    return Range{Position{line, start}, Position{line, end}};
}

}  // namespace lsp
