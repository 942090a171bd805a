// The compiled script file: a 64-byte header, the code, then the event and place entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../common/compile_state.h"

namespace vorn {

// Writes the compiled file to the run's output path; called once, at the end of a run
// without errors. A failure is fatal (status 3).
void write_script_file(CompileState& s, const std::vector<unsigned char>& file);

}  // namespace vorn
