// Warnings judged over the project: a definition in a shared file is one definition in every
// compile that reads it, and what is said about it must hold for all of them.
#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <tuple>

#include <vorn/project.h>
#include <vorn/warning_options.h>

namespace vorn {

bool judged_over_contexts(DiagnosticKind kind) {
    return kind == DiagnosticKind::RedefinedName || kind == DiagnosticKind::SharedVariableNumber;
}

namespace {

// A warning's kind and place: the same definition warned about in several compiles.
using PlaceKey = std::tuple<int, std::string, uint32_t, uint32_t>;

PlaceKey place_of(const Diagnostic& d, const std::string& file) {
    return PlaceKey{static_cast<int>(d.kind), file, d.where.line, d.where.column};
}

bool meets(const CompileResult& result, const PlaceKey& place) {
    return std::any_of(result.diagnostics.begin(), result.diagnostics.end(), [&](const Diagnostic& d) {
        return place_of(d, d.where.file) == place;
    });
}

// The file the top script's own include line opened on the way to source (an index in
// result's files); -1 for the top script itself or a file it did not reach.
int reached_through(const CompileResult& result, int source) {
    for (std::size_t steps = 0; source >= 0 && static_cast<std::size_t>(source) < result.files.size() &&
                                steps < result.files.size();
         ++steps) {
        int includer = result.files[static_cast<std::size_t>(source)].includer;
        if (includer == static_cast<int>(FirstScriptRecord))
            return source;
        source = includer;
    }
    return -1;
}

// A definition warning that only some contexts of a shared file's line meet, said where the
// context meeting it can act on it: on its top script's own include line that reaches the
// file (the file name's range, where recorded has uses; else the line as a whole). The text
// names the file (as the project keys it); the notes show the definition, the contexts that
// meet no such warning there (others) and the warning's own notes. Nothing when the top
// script did not reach the file.
std::optional<Diagnostic> on_include_line(const Diagnostic& d, const std::string& file, const CompileResult& result,
                                          const CompileResult& recorded, const std::vector<std::string>& others) {
    int step = reached_through(result, d.source);
    if (step < 0)
        return std::nullopt;
    const SourceRecord& opened = result.files[static_cast<std::size_t>(step)];
    Diagnostic moved;
    moved.kind = d.kind;
    moved.severity = d.severity;
    moved.status = d.status;
    moved.source = static_cast<int>(FirstScriptRecord);
    moved.where = Location{result.files[FirstScriptRecord].path, opened.include_line, 0, 0};
    for (const Use& use : recorded.uses)
        if (use.kind == UseKind::Include && use.source == static_cast<int>(FirstScriptRecord) &&
            use.where.line == opened.include_line) {
            moved.where.column = use.where.column;
            moved.where.end_column = use.where.end_column;
            break;
        }
    for (std::size_t i = 0; i < recorded.lines.size(); ++i)
        if (recorded.lines[i].file == FirstScriptRecord && recorded.lines[i].line == opened.include_line) {
            moved.piece = &recorded == &result ? static_cast<int32_t>(i) : -1;
            moved.running_line = recorded.lines[i].running_line;
            break;
        }
    moved.text = "in " + file + " (included from here): " + d.text;
    moved.notes.push_back({d.where, contexts_note(others) + " this definition draws no warning"});
    moved.notes.insert(moved.notes.end(), d.notes.begin(), d.notes.end());
    return moved;
}

}  // namespace

// A warning on a shared file's definition stands only when every context reaching its line
// meets it; the records of one place may differ in text (the other name a shared variable
// number is met with), and together they must cover the contexts. One that only some meet is
// said in each of those, on its top script's include line.
void Project::fold_over_contexts(std::vector<ContextDiagnostic>& merged) const {
    std::map<PlaceKey, std::set<std::string>> met;
    for (const ContextDiagnostic& c : merged)
        if (vorn::judged_over_contexts(c.diagnostic.kind) && !c.contexts.empty())
            met[place_of(c.diagnostic, c.diagnostic.where.file)].insert(c.contexts.begin(), c.contexts.end());
    if (met.empty())
        return;
    // The contexts reaching each dropped place that do not meet its warning.
    std::map<PlaceKey, std::vector<std::string>> dropped;
    for (const auto& [place, tops] : met)
        for (const ContextView& view : contexts_reaching(std::get<1>(place), std::get<2>(place)))
            if (!tops.count(view.top))
                dropped[place].push_back(view.top);
    if (dropped.empty())
        return;
    // Each dropped place is said once in every context meeting it (each compile's records
    // read once, in check order), where the place's first record stood.
    std::set<std::string> meeting;
    for (const auto& [place, others] : dropped)
        meeting.insert(met[place].begin(), met[place].end());
    std::map<PlaceKey, std::vector<ContextDiagnostic>> said;
    for (const std::string& top : tops_) {
        const CompileResult* compile = meeting.count(top) ? compile_of(top) : nullptr;
        if (!compile)
            continue;
        const CompileResult& result = *compile;
        std::set<std::tuple<PlaceKey, uint32_t, std::string>> seen;
        for (const Diagnostic& d : result.diagnostics) {
            if (!vorn::judged_over_contexts(d.kind))
                continue;
            PlaceKey place = place_of(d, d.where.file);
            auto found = dropped.find(place);
            if (found == dropped.end())
                continue;
            if (std::optional<Diagnostic> moved = on_include_line(d, std::get<1>(place), result, result, found->second))
                if (seen.emplace(place, moved->where.line, moved->text).second)
                    said[place].push_back(ContextDiagnostic{std::move(*moved), {}, {}});
        }
    }
    std::vector<ContextDiagnostic> kept;
    for (ContextDiagnostic& c : merged) {
        PlaceKey place = place_of(c.diagnostic, c.diagnostic.where.file);
        if (c.contexts.empty() || !vorn::judged_over_contexts(c.diagnostic.kind) || !dropped.count(place)) {
            kept.push_back(std::move(c));
            continue;
        }
        if (auto found = said.find(place); found != said.end()) {
            std::move(found->second.begin(), found->second.end(), std::back_inserter(kept));
            said.erase(found);
        }
    }
    merged = std::move(kept);
}

void Project::judged_over_contexts(const std::string& script, CompileResult& compile) const {
    const std::string self = key(script);
    // The include lines' ranges and running lines, from the compile's uses and lines or else
    // from the project's own compile of the script (which records them).
    const CompileResult* own = compile_of(self);
    const CompileResult& recorded = (compile.uses.empty() || compile.lines.empty()) && own ? *own : compile;
    std::vector<Diagnostic> judged;
    judged.reserve(compile.diagnostics.size());
    for (Diagnostic& d : compile.diagnostics) {
        if (!vorn::judged_over_contexts(d.kind) || d.where.file.empty() ||
            d.source < static_cast<int>(FirstScriptRecord) || key(d.where.file) == self) {
            judged.push_back(std::move(d));
            continue;
        }
        std::string file = key(d.where.file);
        PlaceKey place = place_of(d, file);
        std::vector<std::string> others;
        for (const ContextView& view : contexts_reaching(file, d.where.line))
            if (view.top != self && !meets(*view.result, place))
                others.push_back(view.top);
        if (others.empty()) {
            judged.push_back(std::move(d));
            continue;
        }
        // Only a top script is a context of its own that can say it.
        std::optional<Diagnostic> moved;
        if (own)
            moved = on_include_line(d, file, compile, recorded, others);
        if (moved)
            judged.push_back(std::move(*moved));
    }
    compile.diagnostics = std::move(judged);
}

std::vector<Diagnostic> Project::unused_names(const CompileResult* also, const std::string& also_script) const {
    std::vector<const CompileResult*> compiles;
    // The compile given, with its definitions and uses named as the project names files, so
    // that a shared file's definition is one whatever spelling reached it.
    CompileResult keyed;
    std::string self;
    if (also) {
        self = key(also_script);
        keyed.definitions = also->definitions;
        keyed.uses = also->uses;
        keyed.lines = also->lines;
        for (Definition& d : keyed.definitions)
            if (!d.where.file.empty())
                d.where.file = key(d.where.file);
        for (Use& use : keyed.uses)
            if (!use.where.file.empty())
                use.where.file = key(use.where.file);
        compiles.push_back(&keyed);
    }
    for (const std::string& top : tops_)
        if (!also || top != self)
            compiles.push_back(compile_of(top));
    return vorn::unused_names(compiles);
}

}  // namespace vorn
