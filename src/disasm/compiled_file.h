// Reading a compiled script file and checking its header against its size and the lists.
#pragma once

namespace vorn::dis {

struct Disassembly;

// Reads the file into the state; ends the run if it cannot be opened or read.
void read_compiled_file(Disassembly& dis, const char* path);

// Checks the header: size, reserved bytes, code size and both entry counts. Ends the run
// with the fault's own status at the first that is wrong.
void check_header(Disassembly& dis);

}  // namespace vorn::dis
