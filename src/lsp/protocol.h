// The protocol's messages that the server builds, as C++ records; they turn into JSON only
// where they are sent.
#pragma once

#include <nlohmann/json.hpp>

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

inline Range line_range(uint32_t line, uint32_t start, uint32_t end) {
    return Range{Position{line, start}, Position{line, end}};
}

}  // namespace lsp
