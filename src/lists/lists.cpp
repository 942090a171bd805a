#include "lists.h"

#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include <vorn/line_text.h>

#include "../common/diagnostics.h"
#include "../common/find_name.h"
#include "../common/source_reader.h"

namespace vorn {

#define MSG_LOADED_EVENTS "Loaded %d events\n"
#define MSG_LOADED_COMMANDS "Loaded %d commands\n"

// duplicate-list-entry, looked for when a tool asks for warnings: the entries of the list
// being loaded, and where each stands (hashed: a list of thousands of names is checked on
// every compile).
using ListEntries = std::unordered_map<std::string, vorn::Location>;

[[gnu::cold]] static void check_list_entry(CompileState& s, ListEntries& seen, const char* name,
                                           const vorn::Location& line) {
    vorn::Location where = line;
    where.end_column = where.column + static_cast<uint32_t>(strlen(name));
    auto [earlier, fresh] = seen.try_emplace(name, where);
    if (!fresh && s.options.warnings.has(DiagnosticKind::DuplicateListEntry)) {
        report_at(s, DiagnosticKind::DuplicateListEntry, &where, name);
        s.result.diagnostics.back().notes.push_back({earlier->second, "'" + earlier->first + "' is first listed here"});
    }
}

int Lists::find_event(const char* name) const {
    return find_name(events.data(), static_cast<int>(events.size()), name);
}

int Lists::find_command(const char* name) const {
    return find_name(commands.data(), static_cast<int>(commands.size()), name);
}

// Reads an entry line into a record, name and numbers; false where one does not fit.
static std::optional<vorn::ListEntryLine> read_entry(std::string_view line, char* name, int numbers) {
    std::optional<vorn::ListEntryLine> read = vorn::read_list_entry(line, numbers);
    if (read) {
        memcpy(name, read->name.data(), read->name.size());
        name[read->name.size()] = '\0';
    }
    return read;
}

static bool parse_event_entry(std::string_view line, NameEntry* entry) {
    std::optional<vorn::ListEntryLine> read = read_entry(line, entry->name, 1);
    if (!read)
        return false;
    entry->value = static_cast<uint16_t>(read->numbers[0]);
    return true;
}

static bool parse_command_entry(std::string_view line, CommandEntry* entry) {
    std::optional<vorn::ListEntryLine> read = read_entry(line, entry->name, 2);
    if (!read)
        return false;
    int32_t code = read->numbers[0];
    int32_t arg_count = read->numbers[1];
    // A statement has room for no more arguments than this.
    if (arg_count < 0 || arg_count > MaxArguments)
        return false;
    entry->code = static_cast<uint16_t>(code);
    entry->arg_count = static_cast<uint16_t>(arg_count);
    return true;
}

// How one list differs from the other.
struct ListKind {
    const char* file_name;
    DiagnosticKind cannot_open;
    DiagnosticKind no_memory;
    DiagnosticKind too_many;
    int capacity;
};

// The whole of a piece of a list line, without its line end; column is the 0-based column
// where the piece starts (a longer line's next piece starts at column 79).
static vorn::Location list_line(const char* file_name, int line_number, uint32_t column,
                                const char* line) {
    std::size_t length = strcspn(line, "\r\n");
    return vorn::Location{file_name, static_cast<uint32_t>(line_number), column + 1,
                          column + static_cast<uint32_t>(length) + 1};
}

template <typename Entry, typename Parse>
static void load_list(CompileState& s, const ListKind& kind, std::vector<Entry>& entries,
                      Parse parse_entry) {
    SourceFile* file = open_source(s, kind.file_name);
    const vorn::Location whole_file{kind.file_name, 0, 0, 0};
    if (!file)
        fail_at(s, kind.cannot_open, &whole_file);
    entries.clear();
    try {
        entries.reserve(static_cast<std::size_t>(kind.capacity));
    } catch (const std::bad_alloc&) {
        fail_at(s, kind.no_memory, &whole_file);
    }
    ListEntries seen;
    char line[ListLineSize];
    // vorn's text counts pieces of 79 characters; the location counts the file's lines, and
    // the columns of the line a piece is part of.
    int file_line = 0;
    uint32_t column = 0;
    std::size_t previous = 0;
    bool line_ended = true;
    for (int line_number = 1;; ++line_number) {
        std::size_t length = read_piece(file, line, sizeof line);
        if (file->failed)
            fail_at(s, kind.cannot_open, &whole_file);
        if (length == 0)
            break;
        if (line_ended) {
            ++file_line;
            column = 0;
        } else {
            column += static_cast<uint32_t>(previous);
        }
        previous = length;
        line_ended = line[length - 1] == '\n';
        if (!vorn::is_list_entry(std::string_view(line, length)))
            continue;
        vorn::Location where = list_line(kind.file_name, file_line, column, line);
        if (static_cast<int>(entries.size()) == kind.capacity)
            fail_at(s, kind.too_many, &where);
        Entry entry = {};
        if (!parse_entry(std::string_view(line, length), &entry))
            fail_at(s, DiagnosticKind::BadListEntry, &where, line_number, kind.file_name);
        entries.push_back(entry);
        if (s.warnings) [[unlikely]]
            check_list_entry(s, seen, entry.name, where);
    }
    close_source(s, file);
    // The room for a full list was taken as vorn takes it; what the list does not fill goes,
    // as every compile of a project keeps its lists.
    entries.shrink_to_fit();
}

void load_event_list(CompileState& s) {
    static const ListKind events = {EventListFile, DiagnosticKind::CannotOpenEvents,
                                    DiagnosticKind::NoMemoryEvents, DiagnosticKind::TooManyEvents,
                                    MaxEvents};
    load_list(s, events, s.result.lists.events, parse_event_entry);
    trace(s, MSG_LOADED_EVENTS, static_cast<int>(s.result.lists.events.size()));
}

void load_command_list(CompileState& s) {
    static const ListKind commands = {CommandListFile, DiagnosticKind::CannotOpenCommands,
                                      DiagnosticKind::NoMemoryCommands,
                                      DiagnosticKind::TooManyCommands, MaxCommands};
    load_list(s, commands, s.result.lists.commands, parse_command_entry);
    trace(s, MSG_LOADED_COMMANDS, static_cast<int>(s.result.lists.commands.size()));
}

}  // namespace vorn
