// What a place of a project file means in each context: each top script whose compile
// reaches it. A shared file is compiled once per includer, and a name there may be a
// different variable in each, or unknown in some; these are what an editor's hover,
// definition and completion fold over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <vorn/project.h>

namespace vorn {

// At most this many contexts are looked at for one place.
constexpr std::size_t MaxPlaceContexts = 64;

// A definition as one context sees it.
struct DefinitionInContext {
    std::string context;            // the top script
    const CompileResult* compile;   // its compile (the project's own)
    const Definition* definition;   // in compile->definitions; nullptr: unknown there
};

struct PlaceContexts {
    std::vector<DefinitionInContext> found;
    // How many contexts reach the place in all (found covers at most MaxPlaceContexts).
    std::size_t reaching = 0;
};

// What the variable or constant name written at line:column of path (columns count bytes
// from 1) means in each context that reaches that line, in check order: the definition its
// use resolves to, or the defvar or defnum that defines it there; nullptr where the compile
// knows no such name on that line.
PlaceContexts name_meanings(const Project& project, const std::string& path, uint32_t line, uint32_t column,
                            const std::string& name);

// The variables and constants that the compiles of a project define, and the files each
// compile read: what explains an unknown name that only a file a script does not include
// defines. Made once (its cost is one pass over the compiles' definitions and files); each
// explanation is then a lookup. The compiles must outlive it.
class DefinedElsewhere {
public:
    explicit DefinedElsewhere(const std::vector<TopCompile>& compiles);
    // Adds to d, an unknown-argument error without a note that arose in the compile of top
    // script top, in file (d's file as the compiles name it), when the name is defined in a
    // file that compile did not read, a note at that definition ("'NAME' is defined in FILE,
    // which this script does not include") and an unsafe fix that includes the file at the
    // top of d's file (none when an include line would cut its name). Nothing for a name
    // defined in a script that includes file (that is its includer), nor for a top script
    // not among the compiles. True when it added the note.
    bool explain(Diagnostic& d, const std::string& top, const std::string& file) const;

private:
    std::map<std::string, const Definition*> defined_;
    std::map<std::string, std::set<std::string>> read_;
};

// The variables and constants each context has met before line of path: the predefined
// ones and every defvar and defnum that its compile reads before that line, each context's
// in its order.
PlaceContexts visible_definitions(const Project& project, const std::string& path, uint32_t line);

}  // namespace vorn
