#include "labels.h"

#include <cstdio>
#include <cstring>

#include "../common/compile_state.h"
#include "../common/messages.h"
#include "../common/number.h"
#include "../lists/lists.h"
#include "compile_file.h"
#include "frontend_messages.h"

void define_event_label(const char* word) {
    char name[FirstWordSize];
    snprintf(name, sizeof name, "%s", word);
    name[strlen(name) - 1] = '\0';
    int event = find_event(name);
    if (event < 0)
        report_error(MSG_EVENT_UNKNOWN, name, state.line_number);
    else if (state.event_entries[event] != NoEntry)
        report_error(MSG_EVENT_DEFINED, name, state.line_number);
    else
        state.event_entries[event] = state.code_pos;
}

void define_place(const char* line) {
    int32_t number = 0;
    if (read_number(&line, &number) == NumberRead::OutOfRange) {
        report_error(MSG_NUMBER_RANGE, state.line_number);
        return;
    }
    uint16_t place = static_cast<uint16_t>(number);
    printf(MSG_PLACE, place);
    if (place >= EntryTableSize)
        report_error(MSG_PLACE_TOO_BIG, place, state.line_number);
    else if (state.place_table[place] != NoEntry)
        report_error(MSG_PLACE_TAKEN, place, state.line_number);
    else
        state.place_table[place] = state.code_pos;
}
