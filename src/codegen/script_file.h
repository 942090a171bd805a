// The compiled script file: a 64-byte header, the code, then the event and place entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "../common/compile_state.h"

constexpr std::size_t ScriptHeaderSize = 64;

// Where the header's fields sit; the rest of the header is zero.
constexpr std::size_t EventCountOffset = 0;
constexpr std::size_t PlaceCountOffset = 2;
constexpr std::size_t CodeSizeOffset = 4;

// The largest file there can be: a full code area and both entry tables whole.
constexpr std::size_t MaxScriptFileSize = ScriptHeaderSize + CodeBufferSize + 4 * EntryTableSize;

// Writes the compiled file to the run's output path; called once, at the end of a run
// without errors. A failure is fatal (status 3).
void write_script_file(CompileState& s, const std::vector<unsigned char>& file);
