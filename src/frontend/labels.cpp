#include "labels.h"

#include <cstdio>
#include <cstring>

#include "../common/char_class.h"
#include "../common/diagnostics.h"
#include "../common/number.h"
#include "../common/source_reader.h"
#include "uses.h"

namespace vorn {

#define MSG_PLACE "place: %d\n"

void define_event_label(CompileState& s, const char* word) {
    char name[FirstWordSize];
    snprintf(name, sizeof name, "%s", word);
    std::size_t length = strlen(name) - 1;
    name[length] = '\0';
    Span span = span_of(s, s.open_files->clean, length);
    int event = s.lists().find_event(name);
    if (event >= 0 && s.uses) [[unlikely]]
        note_use(s, vorn::UseKind::Event, event, span);
    if (event < 0)
        report(s, DiagnosticKind::EventUnknown, span, name, s.line_number);
    else if (s.event_entries[event] != NoEntry)
        report(s, DiagnosticKind::EventDefined, span, name, s.line_number);
    else {
        s.event_entries[event] = s.code_pos;
        s.result.definitions.push_back(vorn::Definition{vorn::DefinitionKind::EventLabel, name,
                                                        s.code_pos, event, location_of(s, span),
                                                        current_source(s)});
    }
}

void define_place(CompileState& s, const char* line) {
    int32_t number = 0;
    const char* start = line;
    NumberRead read = read_number(&line, &number);
    Span span = span_of(s, start, static_cast<std::size_t>(line - start));
    if (read == NumberRead::OutOfRange) {
        report(s, DiagnosticKind::NumberRange, span, s.line_number);
        return;
    }
    uint16_t place = static_cast<uint16_t>(number);
    trace(s, MSG_PLACE, place);
    if (place >= EntryTableSize)
        report(s, DiagnosticKind::PlaceTooBig, span, place, s.line_number);
    else if (s.place_table[place] != NoEntry)
        report(s, DiagnosticKind::PlaceTaken, span, place, s.line_number);
    else {
        s.place_table[place] = s.code_pos;
        s.result.definitions.push_back(vorn::Definition{vorn::DefinitionKind::Place,
                                                        std::to_string(place), s.code_pos, place,
                                                        location_of(s, span), current_source(s)});
    }
}

}  // namespace vorn
