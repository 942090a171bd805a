// Explanations that only the whole project can give: a name that a script uses but that only a
// file it does not include defines.
#pragma once

#include <vector>

#include <vorn/project.h>

namespace vorn {

// Adds to each unknown-argument error without a note, whose name some file of the compiles
// defines although the script's compile did not read that file, a note at that definition and
// an unsafe fix that includes the file (an editor offers it; vorn-check --fix makes only safe
// ones). A file whose name an include line would cut gets no fix.
void explain_across_files(const std::vector<TopCompile>& compiles, std::vector<ContextDiagnostic>& diagnostics);

}  // namespace vorn
