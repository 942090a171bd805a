// Making fixes in a file's text.
#include <algorithm>
#include <optional>

#include <vorn/diagnostics.h>
#include <vorn/fixes.h>

namespace vorn {

namespace {

// The bytes [begin, end) of the text that an edit replaces.
struct Placed {
    std::size_t begin;
    std::size_t end;
    const std::string* new_text;

    // Two edits at one place cannot both be made: ranges that share a byte, an insertion
    // inside a range or at its start, or two insertions at one place.
    bool overlaps(const Placed& other) const {
        if (begin == end && other.begin == other.end)
            return begin == other.begin;
        if (begin == end)
            return other.begin <= begin && begin < other.end;
        if (other.begin == other.end)
            return begin <= other.begin && other.begin < end;
        return begin < other.end && other.begin < end;
    }
};

// Where each line of text starts, the first line at index 0.
std::vector<std::size_t> line_starts(std::string_view text) {
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    return starts;
}

// Where an edit stands in the text, if it is on one of its lines and within it.
std::optional<Placed> place(std::string_view text, const std::vector<std::size_t>& starts, const Edit& edit) {
    const Location& r = edit.range;
    if (r.line == 0 || r.line > starts.size() || r.column == 0 || r.end_column < r.column)
        return std::nullopt;
    std::size_t start = starts[r.line - 1];
    std::size_t line_end = r.line < starts.size() ? starts[r.line] - 1 : text.size();
    std::size_t begin = start + r.column - 1;
    std::size_t end = start + r.end_column - 1;
    if (end > line_end)
        return std::nullopt;
    return Placed{begin, end, &edit.new_text};
}

}  // namespace

FixedText apply_fixes(std::string_view text, const std::string& file, const std::vector<const Fix*>& fixes) {
    FixedText fixed{std::string(text), std::vector<bool>(fixes.size(), false)};
    const std::vector<std::size_t> starts = line_starts(text);
    std::vector<Placed> made;
    for (std::size_t f = 0; f < fixes.size(); ++f) {
        std::vector<Placed> edits;
        bool fits = !fixes[f]->edits.empty();
        for (const Edit& edit : fixes[f]->edits) {
            std::optional<Placed> placed = edit.range.file == file ? place(text, starts, edit) : std::nullopt;
            if (!placed) {
                fits = false;
                break;
            }
            for (const Placed& other : edits)
                fits = fits && !placed->overlaps(other);
            edits.push_back(*placed);
        }
        for (const Placed& edit : edits)
            for (const Placed& other : made)
                fits = fits && !edit.overlaps(other);
        if (!fits)
            continue;
        made.insert(made.end(), edits.begin(), edits.end());
        fixed.made[f] = true;
    }
    // From the end back, so that each edit's offsets still hold when it is made.
    std::sort(made.begin(), made.end(), [](const Placed& a, const Placed& b) { return a.begin > b.begin; });
    for (const Placed& edit : made)
        fixed.text.replace(edit.begin, edit.end - edit.begin, *edit.new_text);
    return fixed;
}

}  // namespace vorn
