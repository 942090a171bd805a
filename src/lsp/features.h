// The language features on one compiled document: completion, hover, go to definition,
// document symbols and signature help. Each returns the protocol's record for its answer.
#pragma once

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>

#include <vorn/project.h>

#include "analysis.h"
#include "protocol.h"
#include "text.h"

namespace lsp {

using nlohmann::json;

struct FeatureContext {
    const Text& text;  // the document
    const Analysis& analysis;
    Encoding encoding;
    bool snippets;
    // The text of another file (an included one, say), or nullptr if it cannot be read.
    std::function<const Text*(const std::string& path)> file_text;
    // The document's project and its path (absolute): hover, definition and completion look
    // at every compile that reaches the document. Without one, at the analysis alone.
    const vorn::Project* project = nullptr;
    std::string path;
    // Where folders are listed and files looked up (include completion, definition); without
    // one, nothing is.
    vorn::SourceProvider* files = nullptr;
};

CompletionList completion(const FeatureContext& context, Position position);
std::optional<Hover> hover(const FeatureContext& context, Position position);
// Every place the name at position is defined in some compile that reaches it: one for most
// names, one per meaning in a shared file whose includers define it differently.
std::vector<Location> definition(const FeatureContext& context, Position position);
std::vector<DocumentSymbol> document_symbols(const FeatureContext& context);
std::optional<SignatureHelp> signature_help(const FeatureContext& context, Position position);

// A protocol range for a location of the compile: a line (from 1; 0: the file's first line)
// and byte columns (from 1; column 0: the whole line).
Range range_of(const Text* text, const vorn::Location& where, Encoding encoding);
json range_json(uint32_t line, uint32_t start, uint32_t end);

// value in hex with 0x and at least digits digits: hex_word(0x8000, 4) is "0x8000".
std::string hex_word(unsigned value, int digits);

}  // namespace lsp
