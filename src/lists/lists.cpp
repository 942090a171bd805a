#include "lists.h"

#include <cstdio>
#include <cstring>

#include "../common/allocate_table.h"
#include "../common/char_class.h"
#include "../common/compile_state.h"
#include "../common/find_name.h"
#include "../common/exit_status.h"
#include "../common/messages.h"
#include "../common/number.h"
#include "../common/source_reader.h"
#include "list_messages.h"

// How one list differs from the other.
struct ListKind {
    const char* file_name;
    const char* cannot_open;
    const char* too_many;
    int too_many_status;
    // Parses an entry line into the next record; false if the entry cannot be used.
    bool (*parse_entry)(const char* line);
    // Makes the storage for the whole list.
    void (*allocate)();
    int capacity;
    uint16_t* count;
};

// Copies the entry's name (its first word) into a record; false if it does not fit.
static bool read_entry_name(const char** line, char* name) {
    const char* end = skip_word(*line);
    std::size_t length = static_cast<std::size_t>(end - *line);
    if (length >= NameSize)
        return false;
    memcpy(name, *line, length);
    name[length] = '\0';
    *line = end;
    return true;
}

// Reads the next number field. A missing field reads as 0, and so does every field after it.
static bool read_entry_number(const char** line, int32_t* value) {
    *value = 0;
    const char* s = skip_blanks(*line);
    NumberRead read = read_number(&s, value);
    if (read == NumberRead::OutOfRange)
        return false;
    *line = read == NumberRead::Ok ? s : "";
    return true;
}

static bool parse_event_entry(const char* line) {
    NameEntry& entry = state.event_list[state.event_count];
    int32_t value;
    if (!read_entry_name(&line, entry.name) || !read_entry_number(&line, &value))
        return false;
    entry.value = static_cast<uint16_t>(value);
    return true;
}

static bool parse_command_entry(const char* line) {
    CommandEntry& entry = state.command_list[state.command_count];
    int32_t code, arg_count;
    if (!read_entry_name(&line, entry.name) || !read_entry_number(&line, &code) ||
        !read_entry_number(&line, &arg_count))
        return false;
    // A statement has room for no more arguments than this.
    if (arg_count < 0 || arg_count > MaxArguments)
        return false;
    entry.code = static_cast<uint16_t>(code);
    entry.arg_count = static_cast<uint16_t>(arg_count);
    return true;
}

static void allocate_events() {
    allocate_table(&state.event_list, MaxEvents, ExitNoMemoryEvents, MSG_NO_MEMORY_EVENTS);
}

static void allocate_commands() {
    allocate_table(&state.command_list, MaxCommands, ExitNoMemoryCommands, MSG_NO_MEMORY_COMMANDS);
}

static void load_list(const ListKind& kind) {
    SourceFile* file = open_source(kind.file_name);
    if (!file)
        fatal(ExitCannotOpenList, "%s", kind.cannot_open);
    kind.allocate();
    *kind.count = 0;
    char line[ListLineSize];
    for (int line_number = 1;; ++line_number) {
        std::size_t length = read_piece(file, line, sizeof line);
        if (file->failed)
            fatal(ExitCannotOpenList, "%s", kind.cannot_open);
        if (length == 0)
            break;
        if (!is_letter(static_cast<unsigned char>(line[0])))
            continue;
        if (*kind.count == kind.capacity)
            fatal(kind.too_many_status, "%s", kind.too_many);
        if (!kind.parse_entry(line))
            fatal(ExitBadListEntry, MSG_BAD_ENTRY, line_number, kind.file_name);
        ++*kind.count;
    }
    close_source(file);
}

void load_event_list(bool announce) {
    static const ListKind events = {
        EventListFile,     MSG_CANNOT_OPEN_EVENTS, MSG_TOO_MANY_EVENTS, ExitTooManyEvents,
        parse_event_entry, allocate_events,        MaxEvents,           &state.event_count};
    load_list(events);
    if (announce)
        printf(MSG_LOADED_EVENTS, state.event_count);
}

void load_command_list(bool announce) {
    static const ListKind commands = {
        CommandListFile,     MSG_CANNOT_OPEN_COMMANDS, MSG_TOO_MANY_COMMANDS, ExitTooManyCommands,
        parse_command_entry, allocate_commands,        MaxCommands,           &state.command_count};
    load_list(commands);
    if (announce)
        printf(MSG_LOADED_COMMANDS, state.command_count);
}

int find_event(const char* name) { return find_name(state.event_list, state.event_count, name); }

int find_command(const char* name) { return find_name(state.command_list, state.command_count, name); }
