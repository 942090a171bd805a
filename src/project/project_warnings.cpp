// Warnings judged over the project: a definition in a shared file is one definition in every
// compile that reads it, and what is said about it must hold for all of them.
#include <algorithm>
#include <map>
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

}  // namespace

// A warning on a shared file's definition stands only when every context reaching its line
// meets it; the records of one place may differ in text (the other name a shared variable
// number is met with), and together they must cover the contexts.
void Project::fold_over_contexts(std::vector<ContextDiagnostic>& merged) const {
    std::map<PlaceKey, std::set<std::string>> met;
    for (const ContextDiagnostic& c : merged)
        if (vorn::judged_over_contexts(c.diagnostic.kind) && !c.contexts.empty())
            met[place_of(c.diagnostic, c.diagnostic.where.file)].insert(c.contexts.begin(), c.contexts.end());
    if (met.empty())
        return;
    std::set<PlaceKey> dropped;
    for (const auto& [place, tops] : met)
        for (const ContextView& view : contexts_reaching(std::get<1>(place), std::get<2>(place)))
            if (!tops.count(view.top)) {
                dropped.insert(place);
                break;
            }
    std::erase_if(merged, [&](const ContextDiagnostic& c) {
        return !c.contexts.empty() && vorn::judged_over_contexts(c.diagnostic.kind) &&
               dropped.count(place_of(c.diagnostic, c.diagnostic.where.file));
    });
}

std::vector<Diagnostic> Project::judged_over_contexts(const std::string& script, std::vector<Diagnostic> diagnostics) const {
    const std::string self = key(script);
    std::erase_if(diagnostics, [&](const Diagnostic& d) {
        if (!vorn::judged_over_contexts(d.kind) || d.where.file.empty() || d.source < static_cast<int>(FirstScriptRecord))
            return false;
        std::string file = key(d.where.file);
        if (file == self)
            return false;
        PlaceKey place = place_of(d, file);
        for (const ContextView& view : contexts_reaching(file, d.where.line))
            if (view.top != self && !meets(*view.result, place))
                return true;
        return false;
    });
    return diagnostics;
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
