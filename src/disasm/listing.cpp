#include "listing.h"

#include <cstdio>

#include <vorn/language.h>
#include "code_walk.h"
#include "dis_exit_status.h"
#include "dis_state.h"
#include "disasm_messages.h"
#include "reports.h"
#include "script_text.h"

namespace vorn::dis {

// A statement's offset comment starts in this column when the statement leaves room.
constexpr int OffsetColumn = 40;

// The longest line the compiler reads whole: its line buffer less the terminating NUL.
constexpr int LongestLine = static_cast<int>(SourceLineSize) - 1;

// The variables a script can define: the table's room less Self and Time.
constexpr int DefinableVariables = MaxDefvars - PredefinedVariableCount;

// An offset comment: "; " and at most 4 digits.
constexpr int OffsetCommentSize = 16;

// How many slots at the end of a table are unset; the compiler never writes those.
static int unset_at_end(Disassembly& dis, int count, uint16_t (*entry)(Disassembly&, int)) {
    int unset = 0;
    while (unset < count && entry(dis, count - 1 - unset) == NoEntry)
        ++unset;
    return unset;
}

static void note_unset_entries(Disassembly& dis) {
    int events = unset_at_end(dis, dis.event_count, event_entry);
    if (events > 0)
        note_problem(dis, DisUnsetEntriesAtEnd, NOTE_UNSET_EVENTS, events);
    int places = unset_at_end(dis, dis.place_count, place_entry);
    if (places > 0)
        note_problem(dis, DisUnsetEntriesAtEnd, NOTE_UNSET_PLACES, places);
}

// A defvar line for every script variable that the code uses, in the order of their numbers.
static void print_defvars(Disassembly& dis) {
    if (dis.has_map) {
        for (const MappedValue& value : dis.map.values)
            printf(MSG_MAPPED_VALUE, value.variable ? "defvar" : "defnum", value.name.c_str(),
                   value.value);
        return;
    }
    bool used[DefvarNumbers] = {};
    for (const Statement& statement : dis.statements) {
        for (int i = 0; i < statement.arg_count; ++i) {
            const Argument& arg = statement.args[i];
            if (arg.tag == ArgVariable && arg.value < DefvarNumbers)
                used[arg.value] = true;
        }
    }
    int count = 0;
    for (bool u : used)
        count += u;
    if (count > DefinableVariables)
        note_problem(dis, DisTooManyVariables, NOTE_TOO_MANY_VARIABLES, count, DefinableVariables);
    for (unsigned number = 0; number < DefvarNumbers; ++number)
        if (used[number])
            printf(MSG_DEFVAR, number, number);
}

// Starts a group of labels with an empty line, once; the head already ends with one.
static void open_label_group(bool* opened, uint32_t pos) {
    if (!*opened && pos > 0)
        putchar('\n');
    *opened = true;
}

// The labels that enter at pos, events first and each table in index order. Labels only note
// the code position, so their order among themselves does not change the file.
static void print_labels(Disassembly& dis, uint32_t pos) {
    unsigned long at = pos;
    bool opened = false;
    for (const EntrySlot& slot : dis.entries) {
        if (slot.target != pos)
            continue;
        open_label_group(&opened, pos);
        if (!slot.is_event) {
            printf(MSG_PLACE_LABEL, slot.index);
            continue;
        }
        const char* name = dis.lists.events[slot.index].name;
        if (const char* problem = event_name_problem(dis, slot.index)) {
            note_problem(dis, DisUnwritableName, NOTE_EVENT_NAME, at, slot.index, name, problem);
            continue;
        }
        LineText label;
        text_clear(&label);
        add_name(&label, name);
        printf(MSG_EVENT_LABEL, label.text);
    }
}

// Entries that point between a statement's first and last byte have no place for a label.
static void note_entries_inside(Disassembly& dis, const Statement& statement) {
    unsigned long start = statement.offset;
    for (const EntrySlot& slot : dis.entries) {
        if (slot.target == NoEntry || slot.target <= start || slot.target >= start + statement.size)
            continue;
        unsigned long entry = slot.target;
        if (slot.is_event)
            note_problem(dis, DisEntryInsideStatement, NOTE_EVENT_INSIDE, entry,
                         dis.lists.events[slot.index].name, start);
        else
            note_problem(dis, DisEntryInsideStatement, NOTE_PLACE_INSIDE, entry, slot.index, start);
    }
}

// Notes an argument that a script would compile to other bytes, or cannot write at all.
static void note_argument(Disassembly& dis, const Argument& arg) {
    unsigned long at = arg.offset;
    if (arg.tag <= ArgInt32 && stored_width(arg.tag) != compiler_width(arg.value))
        note_problem(dis, DisNumberForm, NOTE_NUMBER_FORM, at, static_cast<long>(arg.value),
                     stored_width(arg.tag), compiler_width(arg.value));
    if (arg.tag == ArgVariable && !variable_is_nameable(arg.value))
        note_problem(dis, DisVariableNumber, NOTE_VARIABLE, at, static_cast<unsigned long>(arg.value),
                     static_cast<int>(MaxDefvarNumber));
    int first = 0;
    const unsigned char* text = code_bytes(dis) + arg.offset + 2;
    int bad = arg.tag == ArgString ? count_unwritable(text, static_cast<int>(arg.value), &first) : 0;
    if (bad > 0)
        note_problem(dis, DisStringBytes, NOTE_STRING_BYTES, at, bad, text[first], at + 2 + first);
}

// Everything about one statement that keeps a script from giving its bytes.
static void note_statement(Disassembly& dis, const Statement& statement) {
    note_entries_inside(dis, statement);
    if (const char* problem = command_name_problem(dis, statement.command))
        note_problem(dis, DisUnwritableName, NOTE_COMMAND_NAME, static_cast<unsigned long>(statement.offset),
                     statement.command, dis.lists.commands[statement.command].name, problem);
    for (int i = 0; i < statement.arg_count; ++i)
        note_argument(dis, statement.args[i]);
}

// The statement as one script line; the compact form saves the blanks of the usual one.
static void render_statement(Disassembly& dis, const Statement& statement, bool compact, LineText* line) {
    text_clear(line);
    text_add(line, compact ? " " : "    ");
    add_name(line, dis.lists.commands[statement.command].name);
    text_add_char(line, '(');
    for (int i = 0; i < statement.arg_count; ++i) {
        if (i > 0)
            text_add(line, compact ? "," : ", ");
        add_argument(dis, line, statement.args[i]);
    }
    text_add_char(line, ')');
}

// Prints the line with its offset comment, which goes on a line of its own above it when
// the two would be longer than the compiler reads.
static void print_with_offset(const LineText& line, uint32_t offset) {
    char comment[OffsetCommentSize];
    int comment_length = snprintf(comment, sizeof comment, MSG_OFFSET_COMMENT,
                                  static_cast<unsigned long>(offset));
    int pad = line.length < OffsetColumn ? OffsetColumn - line.length : 1;
    if (line.length + pad + comment_length > LongestLine) {
        printf(MSG_OFFSET_LINE, static_cast<unsigned long>(offset));
        pad = 0;
        comment[0] = '\0';
    }
    printf(MSG_STATEMENT_LINE, line.text, pad, "", comment);
}

// Notes first, so that every remark about a statement stands above it.
static void print_statement(Disassembly& dis, const Statement& statement) {
    note_statement(dis, statement);
    LineText line;
    render_statement(dis, statement, false, &line);
    if (line.length > LongestLine)
        render_statement(dis, statement, true, &line);
    if (line.length > LongestLine)
        note_problem(dis, DisLineTooLong, NOTE_LINE_TOO_LONG, static_cast<unsigned long>(statement.offset),
                     line.length, LongestLine);
    print_with_offset(line, statement.offset);
}

// Head, definitions, then the code in order with the labels at the offsets they enter.
void print_listing(Disassembly& dis) {
    printf(MSG_LISTING_HEAD, static_cast<unsigned long>(dis.code_size), dis.event_count,
           dis.place_count);
    note_unset_entries(dis);
    print_defvars(dis);
    putchar('\n');
    for (const Statement& statement : dis.statements) {
        print_labels(dis, statement.offset);
        print_statement(dis, statement);
    }
    print_labels(dis, dis.code_size);
}

}  // namespace vorn::dis
