// Sets of warning kinds (those a compile looks for, or those a tool counts as errors), the
// warnings on by default, and the warnings by name.
#pragma once

#include <bitset>
#include <cstddef>
#include <optional>
#include <string_view>

#include "diagnostics.h"
namespace vorn {

// A set of warning kinds: those a compile looks for, or those a tool counts as errors.
class WarningSet {
public:
    bool has(DiagnosticKind kind) const { return bits_.test(static_cast<std::size_t>(kind)); }
    bool any() const { return bits_.any(); }
    void add(DiagnosticKind kind) { bits_.set(static_cast<std::size_t>(kind)); }
    void remove(DiagnosticKind kind) { bits_.reset(static_cast<std::size_t>(kind)); }
    bool same_as(const WarningSet& other) const { return bits_ == other.bits_; }

    // The warnings on unless turned off, and every warning (-Wall).
    static WarningSet defaults();
    static WarningSet all();

private:
    std::bitset<DiagnosticKindCount> bits_;
};

// Whether a kind is on without being asked for (-Wall turns on the others).
bool on_by_default(DiagnosticKind kind);

// The warning kind of that name, e.g. "redefined-name"; nothing for another name or a kind
// that is no warning.
std::optional<DiagnosticKind> warning_named(std::string_view name);

}  // namespace vorn
