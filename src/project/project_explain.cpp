#include "project_explain.h"

#include <algorithm>
#include <map>
#include <set>

#include <vorn/language.h>
#include <vorn/line_text.h>
#include <vorn/name_contexts.h>

namespace vorn {

namespace {

// The name an "Unknown argument 'NAME'" text quotes.
std::string quoted_name(const std::string& text) {
    std::size_t open = text.find('\'');
    std::size_t close = text.rfind('\'');
    return open == std::string::npos || close <= open ? std::string() : text.substr(open + 1, close - open - 1);
}

}  // namespace

DefinedElsewhere::DefinedElsewhere(const std::vector<TopCompile>& compiles) {
    for (const TopCompile& compile : compiles) {
        std::set<std::string>& files = read_[compile.script];
        for (const SourceRecord& file : compile.result->files)
            if (file.opened)
                files.insert(file.path);
        for (const Definition& d : compile.result->definitions)
            if ((d.kind == DefinitionKind::Variable || d.kind == DefinitionKind::Constant) && !d.where.file.empty())
                defined_.emplace(d.name, &d);  // the first definition of each name
    }
}

bool DefinedElsewhere::explain(Diagnostic& d, const std::string& top, const std::string& file) const {
    if (d.kind != DiagnosticKind::UnknownArgument || !d.notes.empty() || file.empty())
        return false;
    auto found = defined_.find(quoted_name(d.text));
    auto files = read_.find(top);
    if (found == defined_.end() || files == read_.end())
        return false;
    const Definition& definition = *found->second;
    const std::string& defining = definition.where.file;
    if (files->second.count(defining) > 0)
        return false;
    // A top script that itself includes the file of the error is its includer, not a file to
    // include there.
    auto includer = read_.find(defining);
    if (includer != read_.end() && includer->second.count(file) > 0)
        return false;
    d.notes.push_back(DiagnosticNote{definition.where, "'" + definition.name + "' is defined in " + defining +
                                                           ", which this script does not include"});
    if (defining.size() < FirstWordSize) {  // an include line's name is cut there
        Location start{d.where.file, 1, 1, 1};
        d.fixes.push_back(Fix{"include " + defining, {Edit{start, "include " + spell_word(defining) + "\n"}}, false});
    }
    return true;
}

void explain_across_files(const std::vector<TopCompile>& compiles, std::vector<ContextDiagnostic>& diagnostics) {
    DefinedElsewhere names(compiles);
    for (ContextDiagnostic& c : diagnostics) {
        Diagnostic& d = c.diagnostic;
        names.explain(d, c.context.empty() ? d.where.file : c.context, d.where.file);
    }
}

}  // namespace vorn
