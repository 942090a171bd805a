#include "project_explain.h"

#include <algorithm>
#include <map>
#include <set>

#include <vorn/language.h>
#include <vorn/line_text.h>

namespace vorn {

namespace {

// The name an "Unknown argument 'NAME'" text quotes.
std::string quoted_name(const std::string& text) {
    std::size_t open = text.find('\'');
    std::size_t close = text.rfind('\'');
    return open == std::string::npos || close <= open ? std::string() : text.substr(open + 1, close - open - 1);
}


}  // namespace

void explain_across_files(const std::vector<TopCompile>& compiles, std::vector<ContextDiagnostic>& diagnostics) {
    std::map<std::string, const Definition*> defined;  // the first definition of each name
    std::map<std::string, std::set<std::string>> read;  // the files each top script's compile read
    for (const TopCompile& compile : compiles) {
        std::set<std::string>& files = read[compile.script];
        for (const SourceRecord& file : compile.result->files)
            if (file.opened)
                files.insert(file.path);
        for (const Definition& d : compile.result->definitions)
            if ((d.kind == DefinitionKind::Variable || d.kind == DefinitionKind::Constant) && !d.where.file.empty())
                defined.emplace(d.name, &d);
    }
    for (ContextDiagnostic& c : diagnostics) {
        Diagnostic& d = c.diagnostic;
        if (d.kind != DiagnosticKind::UnknownArgument || !d.notes.empty() || d.where.file.empty())
            continue;
        auto found = defined.find(quoted_name(d.text));
        const std::string& top = c.context.empty() ? d.where.file : c.context;
        auto files = read.find(top);
        if (found == defined.end() || files == read.end())
            continue;
        const Definition& definition = *found->second;
        const std::string& file = definition.where.file;
        if (files->second.count(file) > 0)
            continue;
        // A top script that itself includes the file of the error is its includer, not a
        // file to include there.
        auto defining = read.find(file);
        if (defining != read.end() && defining->second.count(d.where.file) > 0)
            continue;
        d.notes.push_back(DiagnosticNote{definition.where, "'" + definition.name + "' is defined in " + file +
                                                               ", which this script does not include"});
        if (file.size() >= FirstWordSize)  // an include line's name is cut there
            continue;
        std::string name = spell_word(file);
        Location start{d.where.file, 1, 1, 1};
        d.fixes.push_back(Fix{"include " + file, {Edit{start, "include " + name + "\n"}}, false});
    }
}

}  // namespace vorn
