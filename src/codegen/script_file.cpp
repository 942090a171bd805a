#include "script_file.h"

#include <cstring>

#include "../common/diagnostics.h"
#include <vorn/compiler.h>
#include <vorn/output_file.h>

namespace vorn {

// 1 + the index of the last slot that a label set, or 0 if none is set.
static uint16_t used_entries(const std::vector<uint16_t>& table) {
    for (std::size_t i = table.size(); i > 0; --i)
        if (table[i - 1] != NoEntry)
            return static_cast<uint16_t>(i);
    return 0;
}

static void put_word(std::vector<unsigned char>& file, std::size_t at, uint16_t w) {
    file[at] = static_cast<unsigned char>(w);
    file[at + 1] = static_cast<unsigned char>(w >> 8);
}

static void append_word(std::vector<unsigned char>& file, uint16_t w) {
    file.push_back(static_cast<unsigned char>(w));
    file.push_back(static_cast<unsigned char>(w >> 8));
}

std::vector<unsigned char> compose_compiled_file(const std::vector<unsigned char>& code,
                                                       const std::vector<uint16_t>& event_entries,
                                                       const std::vector<uint16_t>& place_entries) {
    uint16_t events = used_entries(event_entries);
    uint16_t places = used_entries(place_entries);
    uint32_t code_size = static_cast<uint32_t>(code.size());
    std::vector<unsigned char> file(ScriptHeaderSize, 0);
    file.reserve(ScriptHeaderSize + code_size + 2u * (events + places));
    put_word(file, EventCountOffset, events);
    put_word(file, PlaceCountOffset, places);
    put_word(file, CodeSizeOffset, static_cast<uint16_t>(code_size));
    put_word(file, CodeSizeOffset + 2, static_cast<uint16_t>(code_size >> 16));
    file.insert(file.end(), code.begin(), code.end());
    for (uint16_t i = 0; i < events; ++i)
        append_word(file, event_entries[i]);
    for (uint16_t i = 0; i < places; ++i)
        append_word(file, place_entries[i]);
    return file;
}

void write_script_file(CompileState& s, const std::vector<unsigned char>& file) {
    const std::string& path = *s.options.output_path;
    const vorn::Location where{path, 0, 0, 0};
    if (s.output_is_input)
        fail_at(s, DiagnosticKind::OutputIsInput, &where, path.c_str());
    OutputWrite written = write_output_file(path.c_str(), file.data(), file.size());
    if (written == OutputWrite::CannotOpen)
        fail_at(s, DiagnosticKind::CannotOpenOutput, &where, path.c_str());
    if (written == OutputWrite::CannotWrite)
        fail_at(s, DiagnosticKind::CannotWriteOutput, &where, path.c_str());
}

}  // namespace vorn
