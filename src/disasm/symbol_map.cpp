#include "symbol_map.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <vorn/language.h>
#include "dis_exit_status.h"
#include "dis_state.h"
#include "disasm_messages.h"
#include "reports.h"

namespace vorn::dis {

// The largest map read: vorn-list's map of the largest file is far smaller (a row per
// definition and per name in an argument).
constexpr long MaxMapSize = 4L << 20;

// Fields of a row: kind, name, value, file, line.
constexpr int MapFields = 5;

namespace {

struct Row {
    std::string_view field[MapFields];
};

// Splits a row at its tabs; false unless it has exactly MapFields fields.
bool split_row(std::string_view text, Row* row) {
    for (int i = 0; i < MapFields; ++i) {
        std::size_t tab = text.find('\t');
        if ((tab == std::string_view::npos) != (i == MapFields - 1))
            return false;
        row->field[i] = text.substr(0, tab);
        text.remove_prefix(tab == std::string_view::npos ? text.size() : tab + 1);
    }
    return !row->field[1].empty();
}

// A decimal number of at most 9 digits.
bool parse_value(std::string_view text, uint32_t* value) {
    if (text.empty() || text.size() > 9)
        return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    *value = v;
    return true;
}

// Row 0: the file has what the map lacks.
[[noreturn]] void map_fault(Disassembly& dis, int row, const char* what) {
    if (row == 0)
        file_fault(dis, DisMapMismatch, MSG_MAP_LACKS, dis.map.path.c_str(), what);
    file_fault(dis, DisMapMismatch, MSG_MAP_MISMATCH, dis.map.path.c_str(), row, what);
}

std::string text_of(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string text_of(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// A label row: the slot it names must hold its offset.
void check_label(Disassembly& dis, const Row& row, uint32_t value, int number, bool event,
                 std::vector<bool>& mapped) {
    std::string name(row.field[1]);
    int index = -1;
    if (event) {
        index = dis.lists.find_event(name.c_str());
        if (index < 0)
            map_fault(dis, number, text_of("event %s is not in events.lst", name.c_str()).c_str());
        if (index >= dis.event_count)
            map_fault(dis, number, text_of("event %s has no entry in the file", name.c_str()).c_str());
    } else {
        uint32_t place;
        if (!parse_value(row.field[1], &place) || place >= dis.place_count)
            map_fault(dis, number, text_of("place %s has no entry in the file", name.c_str()).c_str());
        index = static_cast<int>(place);
    }
    uint16_t target = event ? event_entry(dis, index) : place_entry(dis, index);
    if (target != value)
        map_fault(dis, number, text_of("%s %s enters at code offset 0x%04X in the map, %s in the file",
                                       event ? "event" : "place", name.c_str(), value,
                                       target == NoEntry ? "nowhere"
                                                         : text_of("at 0x%04X", target).c_str())
                                   .c_str());
    mapped[(event ? 0 : MaxEvents) + static_cast<std::size_t>(index)] = true;
}

}  // namespace

void read_symbol_map(Disassembly& dis, const char* path) {
    dis.map.path = path;
    dis.has_map = true;
    FILE* f = fopen(path, "rb");
    if (!f)
        file_fault(dis, DisCannotReadFile, MSG_MAP_CANNOT_OPEN, path, strerror(errno));
    std::string text;
    char block[16384];
    std::size_t got;
    while ((got = fread(block, 1, sizeof block, f)) > 0) {
        text.append(block, got);
        if (text.size() > static_cast<std::size_t>(MaxMapSize)) {
            fclose(f);
            file_fault(dis, DisMapMismatch, MSG_MAP_TOO_LARGE, path, MaxMapSize);
        }
    }
    bool failed = ferror(f);
    fclose(f);
    if (failed)
        file_fault(dis, DisCannotReadFile, MSG_MAP_CANNOT_OPEN, path, "read error");
    dis.map_text = std::move(text);
}

void check_symbol_map(Disassembly& dis) {
    if (!dis.has_map)
        return;
    SymbolMap& map = dis.map;
    std::vector<bool> mapped(MaxEvents + EntryTableSize, false);
    // The first defvar of each number, which the code's variables must have.
    std::vector<bool> defined(MaxDefvarNumber + 1, false);
    std::string_view rest = dis.map_text;
    int number = 0;
    while (!rest.empty()) {
        ++number;
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        Row row;
        uint32_t value = 0;
        uint32_t line_number = 0;
        if (!split_row(line, &row) || !parse_value(row.field[2], &value) ||
            !parse_value(row.field[4], &line_number))
            map_fault(dis, number, "not a row of vorn-list's map (kind, name, value, file and line, "
                                   "separated by tabs)");
        std::string_view kind = row.field[0];
        std::string name(row.field[1]);
        if (kind == "event" || kind == "place") {
            check_label(dis, row, value, number, kind == "event", mapped);
        } else if (kind == "defvar" || kind == "defnum") {
            bool variable = kind == "defvar";
            if (value > (variable ? static_cast<uint32_t>(MaxDefvarNumber) : 0xFFFFu))
                map_fault(dis, number, text_of("%s %s has the value %u, out of range",
                                               variable ? "defvar" : "defnum", name.c_str(), value)
                                           .c_str());
            if (variable)
                defined[value] = true;
            map.values.push_back(MappedValue{variable, name, value});
        } else if (kind == "use-defvar" || kind == "use-defnum") {
            map.uses[value] = MappedUse{kind == "use-defvar", name, number};
        } else {
            map_fault(dis, number, text_of("unknown kind of row: %.*s", static_cast<int>(kind.size()),
                                           kind.data())
                                       .c_str());
        }
    }
    // Every label of the file is in the map.
    for (const EntrySlot& slot : dis.entries) {
        std::size_t at = (slot.is_event ? 0 : MaxEvents) + static_cast<std::size_t>(slot.index);
        if (slot.target == NoEntry || mapped[at])
            continue;
        if (slot.is_event)
            map_fault(dis, 0, text_of("event %s enters at code offset 0x%04X, and the map has no "
                                      "label for it",
                                      dis.lists.events[slot.index].name, slot.target)
                                  .c_str());
        map_fault(dis, 0, text_of("place %d enters at code offset 0x%04X, and the map has no label "
                                  "for it",
                                  slot.index, slot.target)
                              .c_str());
    }
    // Every variable of the code is defined, and every name stands for what its argument holds.
    std::size_t uses_found = 0;
    for (const Statement& statement : dis.statements) {
        for (int i = 0; i < statement.arg_count; ++i) {
            const Argument& arg = statement.args[i];
            if (arg.tag == ArgVariable && arg.value <= MaxDefvarNumber && !defined[arg.value])
                map_fault(dis, 0, text_of("code offset 0x%04X uses variable %ld, and the map "
                                          "defines none with that number",
                                          arg.offset, static_cast<long>(arg.value))
                                      .c_str());
            auto use = map.uses.find(arg.offset);
            if (use == map.uses.end())
                continue;
            ++uses_found;
            const MappedValue* value = nullptr;
            for (const MappedValue& v : map.values)
                if (v.variable == use->second.variable && v.name == use->second.name) {
                    value = &v;
                    break;
                }
            bool fits = value && (value->variable ? arg.tag == ArgVariable
                                                  : arg.tag <= ArgInt32) &&
                        static_cast<int64_t>(value->value) == arg.value;
            if (!fits)
                map_fault(dis, use->second.row,
                          text_of("the argument at code offset 0x%04X is not %s %s",
                                  arg.offset, use->second.variable ? "variable" : "constant",
                                  use->second.name.c_str())
                              .c_str());
        }
    }
    if (uses_found != map.uses.size())
        for (const auto& [offset, use] : map.uses) {
            bool found = false;
            for (const Statement& statement : dis.statements)
                for (int i = 0; i < statement.arg_count; ++i)
                    found = found || statement.args[i].offset == offset;
            if (!found)
                map_fault(dis, use.row, text_of("no argument starts at code offset 0x%04X", offset).c_str());
        }
}

const char* mapped_name(Disassembly& dis, uint32_t offset) {
    if (!dis.has_map)
        return nullptr;
    auto use = dis.map.uses.find(offset);
    if (use == dis.map.uses.end())
        return nullptr;
    // With every definition at the top, a name that is a variable's too would be read as
    // that: a constant keeps its number there.
    if (!use->second.variable)
        for (const MappedValue& v : dis.map.values)
            if (v.variable && v.name == use->second.name)
                return nullptr;
    return use->second.name.c_str();
}

}  // namespace vorn::dis
