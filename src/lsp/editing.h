// The features that shape how a document is edited and read: formatting (of the whole
// document or of some of its lines), folding ranges, inlay hints and selection ranges. Each
// returns the result as the protocol has it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "features.h"

namespace lsp {

// The edits that give lines first_line to last_line (from 0, both included) vorn-fmt's
// layout, one for each line that changes. The request's FormattingOptions (tabSize,
// insertSpaces) are not followed: the layout is vorn-fmt's, whatever the editor. A whole document's edits can number in
// the thousands, so they come as the JSON text of the result, written out directly.
std::string formatting(const FeatureContext& context, const json& options, uint32_t first_line,
                       uint32_t last_line);

// Each event label or place with its statements, and each run of two or more comment lines.
std::vector<FoldingRange> folding_ranges(const FeatureContext& context);

// What the names and the numbers of lines first_line to last_line stand for.
std::vector<InlayHint> inlay_hints(const FeatureContext& context, uint32_t first_line, uint32_t last_line);

// For each position, the chain of ranges around it: its argument, the argument list, the
// statement, the block of its label, the whole document.
std::vector<SelectionRange> selection_ranges(const FeatureContext& context, const std::vector<Position>& positions);

}  // namespace lsp
