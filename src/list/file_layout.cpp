// The listing's account of the compiled file outside the code: the header and the two entry
// tables, row by row with the file offset of each and the bytes there.
#include <algorithm>
#include <cstdint>
#include <string>

#include "listing.h"

namespace vorn_list {

namespace {

// Bytes shown on one row, as for the code.
constexpr std::size_t LayoutBytesPerRow = 8;

uint32_t read_word(const std::vector<unsigned char>& file, std::size_t at) {
    return static_cast<uint32_t>(file[at] | file[at + 1] << 8);
}

// "file offsets 0049 to 004C", or "none" for an empty part.
std::string span(std::size_t begin, std::size_t size) {
    if (size == 0)
        return "none";
    return "file offsets " + hex4(static_cast<uint32_t>(begin)) + " to " +
           hex4(static_cast<uint32_t>(begin + size - 1));
}

// The bytes from begin on, in rows; the first row carries text.
void add_bytes(std::string& out, const std::vector<unsigned char>& file, std::size_t begin,
               std::size_t size, const std::string& text) {
    for (std::size_t done = 0; done < size; done += LayoutBytesPerRow)
        add_row(out, std::string(), static_cast<uint32_t>(begin + done), file.data() + begin + done,
                std::min(LayoutBytesPerRow, size - done), done == 0 ? text : std::string());
}

// The label that set a slot: where it is defined.
std::string label_place(const vorn::CompileResult& result, vorn::DefinitionKind kind, int index,
                        uint16_t target) {
    for (const vorn::Definition& d : result.definitions)
        if (d.kind == kind && d.index == index && static_cast<uint16_t>(d.value) == target)
            return ", label at " + d.where.file + ":" + std::to_string(d.where.line);
    return std::string();
}

void add_slot(std::string& out, const vorn::CompileResult& result, std::size_t at,
              vorn::DefinitionKind kind, int index) {
    uint16_t target = static_cast<uint16_t>(read_word(result.compiled, at));
    std::string text;
    if (kind == vorn::DefinitionKind::EventLabel) {
        text = "event " + std::to_string(index);
        if (static_cast<std::size_t>(index) < result.lists.events.size())
            text += std::string(" ") + result.lists.events[static_cast<std::size_t>(index)].name;
    } else {
        text = "place " + std::to_string(index);
    }
    if (target == vorn::NoEntry)
        text += ": no label";
    else
        text += ": code offset " + hex4(target) + label_place(result, kind, index, target);
    add_bytes(out, result.compiled, at, 2, text);
}

}  // namespace

void add_file_layout(std::string& out, const vorn::CompileResult& result) {
    const std::vector<unsigned char>& file = result.compiled;
    if (file.size() < vorn::ScriptHeaderSize)
        return;
    const uint32_t events = read_word(file, vorn::EventCountOffset);
    const uint32_t places = read_word(file, vorn::PlaceCountOffset);
    const uint32_t code_size = read_word(file, vorn::CodeSizeOffset) |
                               read_word(file, vorn::CodeSizeOffset + 2) << 16;
    const std::size_t reserved = vorn::CodeSizeOffset + 4;

    out += "=== header: " + span(0, vorn::ScriptHeaderSize) + "\n";
    add_bytes(out, file, vorn::EventCountOffset, 2, "event count " + std::to_string(events));
    add_bytes(out, file, vorn::PlaceCountOffset, 2, "place count " + std::to_string(places));
    add_bytes(out, file, vorn::CodeSizeOffset, 4, "code size " + std::to_string(code_size));
    add_bytes(out, file, reserved, vorn::ScriptHeaderSize - reserved,
              "reserved, " + std::to_string(vorn::ScriptHeaderSize - reserved) + " zero bytes");

    out += "=== code: " + span(vorn::ScriptHeaderSize, code_size);
    if (code_size > 0)
        out += " (code offset + " + hex4(static_cast<uint32_t>(vorn::ScriptHeaderSize)) + ")";
    out += "\n";

    std::size_t at = vorn::ScriptHeaderSize + code_size;
    out += "=== event entries: " + span(at, 2 * events) + "\n";
    for (uint32_t i = 0; i < events; ++i, at += 2)
        add_slot(out, result, at, vorn::DefinitionKind::EventLabel, static_cast<int>(i));
    out += "=== place entries: " + span(at, 2 * places) + "\n";
    for (uint32_t i = 0; i < places; ++i, at += 2)
        add_slot(out, result, at, vorn::DefinitionKind::Place, static_cast<int>(i));
    out += "=== " + std::to_string(file.size()) + " bytes in the compiled file\n";
}

}  // namespace vorn_list
