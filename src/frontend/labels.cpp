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

void define_event_label(CompileState& s, const char* line) {
    vorn::TextRange range = s.line.name;
    char name[FirstWordSize];
    memcpy(name, line + range.begin, range.size());
    name[range.size()] = '\0';
    Span span = span_of(range);
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
    const char* digits = line + s.line.number.begin;
    NumberRead read = read_number(&digits, &number);
    Span span = span_of(s.line.number);
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
