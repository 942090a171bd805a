// The server's settings, from initializationOptions and workspace/configuration: the
// "vorn" section, whose "warnings" list is spelt as vorn-check's -W options without the -W
// (["all", "no-long-line"]).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include <vorn/warning_set.h>

namespace lsp {

// At most this many entries of a warnings list are read.
constexpr std::size_t MaxWarningOptions = 64;

struct WarningsSetting {
    vorn::WarningSet enabled;
    // An entry that is no -W option, quoted, one per entry.
    std::vector<std::string> unknown;
};

// The warnings that settings ask for: settings is the "vorn" section itself or an object that
// holds it; nothing when it has no warnings list. The list starts from the warnings that are
// on by default, as -W options do.
std::optional<WarningsSetting> warnings_setting(const nlohmann::json& settings);

}  // namespace lsp
