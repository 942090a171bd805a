// Printing a checked compiled file as a script that compiles back to the same bytes.
#pragma once

namespace vorn::dis {

struct Disassembly;

// Prints the listing on standard output, with a note at every place that no script can
// reproduce. The file must have passed every check.
void print_listing(Disassembly& dis);

}  // namespace vorn::dis
