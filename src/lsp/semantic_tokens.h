// Semantic tokens: what each word of a document is, as its compile read it, for an editor to
// colour: a command from command.lst or one that is not there, a variable or a constant, a
// condition keyword, Self and Time, labels, strings, numbers, event parameters, include names,
// comments and the text the compiler ignores.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <string>
#include <vector>

#include "analysis.h"
#include "text.h"

namespace lsp {

using nlohmann::json;

// The token types, in the order of the legend, each with the protocol's name for it. Where a
// standard name fits it is used, so that a client without a mapping of its own colours them:
//   function    a statement's command word
//   variable    a defvar name (Self and Time with defaultLibrary)
//   enumMember  a defnum name: a named number, as an enum member is
//   keyword     a condition keyword (Equal ... GreaterThanOrEqual)
//   macro       a directive word: defvar, defnum, include, or an unknown first word
//   event       the name of an event label
//   label       the number of a place label
//   string      a string argument, with its quotes
//   number      a number argument, or the number of a definition
//   parameter   an event parameter (&1 to &3)
//   namespace   the file name of an include line
//   comment     a comment; with the ignored modifier, text that the compiler does not read
// FIRST names the first entry and NEXT every other, so that the legend can be spelt as one
// JSON literal below.
#define VORN_SEMANTIC_TOKEN_TYPES(FIRST, NEXT) \
    FIRST(Command, "function")                 \
    NEXT(Variable, "variable")                 \
    NEXT(Constant, "enumMember")               \
    NEXT(Condition, "keyword")                 \
    NEXT(Directive, "macro")                   \
    NEXT(Event, "event")                       \
    NEXT(Place, "label")                       \
    NEXT(String, "string")                     \
    NEXT(Number, "number")                     \
    NEXT(EventParam, "parameter")              \
    NEXT(Include, "namespace")                 \
    NEXT(Comment, "comment")

// The modifiers, each a bit (the first is bit 0):
//   declaration     the name of a defvar or defnum, an event label's name, a place's number
//   defaultLibrary  a predefined variable (Self, Time)
//   unknown         a command not in command.lst, an event label not in events.lst, an
//                   unknown directive word (the compile reports each)
//   ignored         text the compiler reads no further (a comment-like token: dim it)
#define VORN_SEMANTIC_TOKEN_MODIFIERS(FIRST, NEXT) \
    FIRST(Declaration, "declaration")              \
    NEXT(DefaultLibrary, "defaultLibrary")         \
    NEXT(Unknown, "unknown")                       \
    NEXT(Ignored, "ignored")

#define VORN_TOKEN_ENUMERATOR(id, name) id,
enum class TokenType : uint32_t { VORN_SEMANTIC_TOKEN_TYPES(VORN_TOKEN_ENUMERATOR, VORN_TOKEN_ENUMERATOR) };
enum class TokenModifierBit : uint32_t {
    VORN_SEMANTIC_TOKEN_MODIFIERS(VORN_TOKEN_ENUMERATOR, VORN_TOKEN_ENUMERATOR)
};
#undef VORN_TOKEN_ENUMERATOR

constexpr uint32_t modifier(TokenModifierBit bit) { return 1u << static_cast<uint32_t>(bit); }

#define VORN_TOKEN_FIRST_NAME(id, name) "\"" name "\""
#define VORN_TOKEN_NEXT_NAME(id, name) ",\"" name "\""
// The semanticTokensProvider capability: the legend, and whole documents and ranges served.
constexpr const char* SemanticTokensCapability =
    R"({"legend":{"tokenTypes":[)" VORN_SEMANTIC_TOKEN_TYPES(VORN_TOKEN_FIRST_NAME, VORN_TOKEN_NEXT_NAME)
    R"(],"tokenModifiers":[)" VORN_SEMANTIC_TOKEN_MODIFIERS(VORN_TOKEN_FIRST_NAME, VORN_TOKEN_NEXT_NAME)
    R"(]},"full":true,"range":true})";
#undef VORN_TOKEN_FIRST_NAME
#undef VORN_TOKEN_NEXT_NAME

// The lines (from 0) and characters of a request for a range; lines past the text are
// clamped to it.
struct TokenWindow {
    Position start{0, 0};
    Position end{UINT32_MAX, UINT32_MAX};
};

// The tokens of the document that touch the window, in the protocol's relative encoding (five
// numbers a token: line delta, start delta, length, type, modifiers), columns in encoding.
std::vector<uint32_t> semantic_tokens(const Text& text, const Analysis& analysis, Encoding encoding,
                                      TokenWindow window = {});
// The same as the JSON of the answer, {"data":[...]}, written as the tokens are found (a large
// document's numbers are never held as a vector and a json value too), with headroom bytes to
// spare for what the answer's message wraps around it.
std::string semantic_tokens_json(const Text& text, const Analysis& analysis, Encoding encoding,
                                 TokenWindow window = {}, std::size_t headroom = 0);

}  // namespace lsp
