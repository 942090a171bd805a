#include "code_walk.h"

#include <vorn/language.h>
#include "dis_exit_status.h"
#include "dis_state.h"
#include "disasm_messages.h"
#include "reports.h"

namespace vorn::dis {

// The number of a fixed width, read back with its sign.
static int64_t signed_value(uint32_t raw, int width) {
    if (width == 1)
        return static_cast<int8_t>(raw);
    if (width == 2)
        return static_cast<int16_t>(raw);
    return static_cast<int32_t>(raw);
}

// Whether a value fits what its tag allows; numbers and variables take any bit pattern.
static bool value_allowed(uint8_t tag, int64_t value) {
    if (tag == ArgString)
        return value <= MaxStringLength;
    if (tag == ArgEventParam)
        return value >= FirstEventParam && value <= LastEventParam;
    if (tag == ArgCondition)
        return value < ConditionKeywordCount;
    return true;
}

// Decodes one argument at *pos and moves *pos past it.
static DecodeResult decode_argument(Disassembly& dis, uint32_t* pos, Argument* arg, uint32_t* fault_at) {
    const unsigned char* code = code_bytes(dis);
    uint32_t end = dis.code_size;
    *fault_at = end;
    if (*pos >= end)
        return DecodeResult::Cut;
    arg->offset = *pos;
    arg->tag = code[*pos];
    if (arg->tag >= ArgumentTagCount) {
        *fault_at = *pos;
        return DecodeResult::UnknownTag;
    }
    uint32_t at = *pos + 1;
    uint32_t width = static_cast<uint32_t>(ArgumentValueBytes[arg->tag]);
    if (end - at < width)
        return DecodeResult::Cut;
    uint32_t raw = read_le(code + at, static_cast<int>(width));
    bool is_number = arg->tag <= ArgInt32;
    arg->value = is_number ? signed_value(raw, static_cast<int>(width)) : raw;
    if (!value_allowed(arg->tag, arg->value)) {
        *fault_at = at;
        return DecodeResult::BadValue;
    }
    if (arg->tag == ArgString)
        width += raw;
    if (end - at < width)
        return DecodeResult::Cut;
    *pos = at + width;
    return DecodeResult::Ok;
}

DecodeResult decode_statement(Disassembly& dis, uint32_t offset, Statement* statement, uint32_t* fault_at) {
    statement->offset = offset;
    statement->command = code_bytes(dis)[offset];
    statement->arg_count = 0;
    *fault_at = offset;
    if (statement->command >= static_cast<int>(dis.lists.commands.size()))
        return DecodeResult::UnknownCommand;
    int wanted = dis.lists.commands[statement->command].arg_count;
    uint32_t pos = offset + 1;
    for (; statement->arg_count < wanted; ++statement->arg_count) {
        DecodeResult result = decode_argument(dis, &pos, &statement->args[statement->arg_count], fault_at);
        if (result != DecodeResult::Ok)
            return result;
    }
    statement->size = pos - offset;
    return DecodeResult::Ok;
}

// Ends the run with the message for a statement's fault.
[[noreturn]] static void report_decode_fault(Disassembly& dis, DecodeResult result, const Statement& statement,
                                             uint32_t fault_at) {
    unsigned long file_at = ScriptHeaderSize + fault_at;
    unsigned long code_at = fault_at;
    if (result == DecodeResult::UnknownCommand)
        file_fault(dis, DisUnknownCommand, MSG_UNKNOWN_COMMAND, file_at, code_at, statement.command,
                   static_cast<int>(dis.lists.commands.size()));
    int number = statement.arg_count + 1;
    const char* name = dis.lists.commands[statement.command].name;
    if (result == DecodeResult::Cut)
        file_fault(dis, DisArgumentCut, MSG_ARGUMENT_CUT, file_at, code_at, number, name);
    const Argument& arg = statement.args[statement.arg_count];
    if (result == DecodeResult::UnknownTag)
        file_fault(dis, DisUnknownTag, MSG_UNKNOWN_TAG, file_at, code_at, number, name, arg.tag);
    unsigned long value = static_cast<unsigned long>(arg.value);
    if (arg.tag == ArgString)
        file_fault(dis, DisBadArgumentValue, MSG_STRING_TOO_LONG, file_at, code_at, number, name, value,
                   MaxStringLength);
    if (arg.tag == ArgEventParam)
        file_fault(dis, DisBadArgumentValue, MSG_BAD_EVENT_PARAM, file_at, code_at, number, name, value,
                   FirstEventParam, LastEventParam);
    file_fault(dis, DisBadArgumentValue, MSG_BAD_CONDITION, file_at, code_at, number, name, value,
               ConditionKeywordCount - 1);
}

void check_code(Disassembly& dis) {
    uint32_t pos = 0;
    while (pos < dis.code_size) {
        Statement statement;
        uint32_t fault_at;
        DecodeResult result = decode_statement(dis, pos, &statement, &fault_at);
        if (result != DecodeResult::Ok)
            report_decode_fault(dis, result, statement, fault_at);
        dis.statements.push_back(statement);
        pos += statement.size;
    }
}

void check_entries(Disassembly& dis) {
    for (int i = 0; i < dis.event_count; ++i)
        dis.entries.push_back(EntrySlot{true, i, event_entry(dis, i), event_entry_offset(dis, i)});
    for (int i = 0; i < dis.place_count; ++i)
        dis.entries.push_back(EntrySlot{false, i, place_entry(dis, i), place_entry_offset(dis, i)});
    unsigned long code_size = dis.code_size;
    for (const EntrySlot& slot : dis.entries) {
        if (slot.target == NoEntry || slot.target <= dis.code_size)
            continue;
        unsigned long at = slot.file_offset;
        if (slot.is_event)
            file_fault(dis, DisEntryPastCode, MSG_EVENT_PAST_CODE, at, dis.lists.events[slot.index].name,
                       slot.target, code_size);
        file_fault(dis, DisEntryPastCode, MSG_PLACE_PAST_CODE, at, slot.index, slot.target, code_size);
    }
}

}  // namespace vorn::dis
