// The facts of the language and of the compiled file, in one place: every limit, the list
// files and their records, the argument tags, the number widths, the predefined variables, the
// condition keywords and the directive words. The compiler, the disassembler, the language
// server and every other tool read them from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vorn {

// ---- Names and the two lists ---------------------------------------------------------------

// A name is stored NUL-terminated in 32 bytes, so it has at most 31 characters.
constexpr std::size_t NameSize = 32;

struct NameEntry {
    char name[NameSize];
    uint16_t value;
};

struct CommandEntry {
    char name[NameSize];
    uint16_t code;
    uint16_t arg_count;
};

// The two lists, read from the folder a compile runs in.
constexpr const char* EventListFile = "events.lst";
constexpr const char* CommandListFile = "command.lst";

// A list file is read in pieces of at most 79 characters.
constexpr int ListLineSize = 80;

constexpr int MaxEvents = 256;
constexpr int MaxCommands = 256;

// A compile records the files it reads in order: both lists first, then the scripts, so the
// top script's record is at this index.
constexpr std::size_t FirstScriptRecord = 2;

// The two lists a script may use, as loaded from events.lst and command.lst.
struct Lists {
    std::vector<NameEntry> events;
    std::vector<CommandEntry> commands;

    // Index of the first entry with exactly this name, or -1.
    int find_event(const char* name) const;
    int find_command(const char* name) const;
};

// ---- Reading scripts -----------------------------------------------------------------------

// A line is compiled in pieces of at most this many bytes, the line end included; a longer
// line goes on in the next piece, which is compiled as a line of its own.
constexpr std::size_t MaxPieceLength = 299;
// A piece and its NUL.
constexpr std::size_t SourceLineSize = MaxPieceLength + 1;

// The old end-of-file mark: a file ends where it stands.
constexpr unsigned char EndOfFileMark = 0x1A;

// In a cleaned line, the quotes that open and close a string are replaced with these.
constexpr unsigned char CleanOpenQuote = 0xFF;
constexpr unsigned char CleanCloseQuote = 0xFE;

// A line's first word, a command word and an include's file name have at most 79 characters
// (the size holds the NUL); a longer first word is cut to that.
constexpr std::size_t FirstWordSize = 80;
constexpr std::size_t MaxFirstWordLength = FirstWordSize - 1;

// An argument of a statement has at most 99 characters.
constexpr int ArgumentSize = 100;

// How deep includes may nest, so that a long chain of files cannot exhaust the stack.
constexpr int MaxIncludeDepth = 2000;

// The directive words that may start a line.
constexpr const char* DefvarWord = "defvar";
constexpr const char* DefnumWord = "defnum";
constexpr const char* IncludeWord = "include";

// A line's first word ending in this is an event label.
constexpr char EventLabelEnd = ':';

// ---- Named values --------------------------------------------------------------------------

constexpr int MaxDefvars = 256;
constexpr int MaxDefnums = 1024;

// The variable numbers a defvar may give, 0 to 255: DefvarNumbers of them.
constexpr int32_t MaxDefvarNumber = 255;
constexpr int32_t DefvarNumbers = MaxDefvarNumber + 1;

// The variables every script has without defining them, in the order they are defined.
struct PredefinedVariable {
    const char* name;
    uint16_t number;
};
constexpr uint16_t SelfVariable = 0x8000;
constexpr uint16_t TimeVariable = 0x8001;
constexpr PredefinedVariable PredefinedVariables[] = {{"Self", SelfVariable}, {"Time", TimeVariable}};
constexpr int PredefinedVariableCount = sizeof PredefinedVariables / sizeof PredefinedVariables[0];

// The name of a predefined variable number, or nullptr.
inline const char* predefined_variable_name(int64_t number) {
    for (const PredefinedVariable& variable : PredefinedVariables)
        if (variable.number == number)
            return variable.name;
    return nullptr;
}

// The words a condition argument may be; a condition compiles to its index here.
constexpr int ConditionKeywordCount = 8;
constexpr const char* ConditionKeywordTable[ConditionKeywordCount] = {
    "Equal",       "NotEqual",       "LessThan",        "NotLessThan",
    "GreaterThan", "NotGreaterThan", "LessThanOrEqual", "GreaterThanOrEqual",
};

// Index of a condition keyword, or -1.
inline int find_condition(const char* name) {
    for (int i = 0; i < ConditionKeywordCount; ++i)
        if (strcmp(ConditionKeywordTable[i], name) == 0)
            return i;
    return -1;
}

// ---- Statements and their arguments ----------------------------------------------------------

// The tag that starts every argument in the code, and says how many bytes follow it.
enum ArgumentTag : uint8_t {
#define ARGUMENT_TAG(name, tag, bytes) name = tag,
#include "argument_tags.def"
#undef ARGUMENT_TAG
};

constexpr int ArgumentTagCount = 0
#define ARGUMENT_TAG(name, tag, bytes) +1
#include "argument_tags.def"
#undef ARGUMENT_TAG
    ;

// The name of each tag, by tag.
constexpr const char* ArgumentTagNames[ArgumentTagCount] = {
#define ARGUMENT_TAG(name, tag, bytes) #name,
#include "argument_tags.def"
#undef ARGUMENT_TAG
};

// Bytes after each tag, by tag; a string's 1 is its length byte.
constexpr int ArgumentValueBytes[ArgumentTagCount] = {
#define ARGUMENT_TAG(name, tag, bytes) bytes,
#include "argument_tags.def"
#undef ARGUMENT_TAG
};

// The most arguments a statement can carry, and so the most a command may declare.
constexpr int MaxArguments = 10;

// The number widths' limits stop short of what the bytes could hold.
constexpr int32_t Int8Limit = 120;
constexpr int32_t Int16Limit = 32760;

// The tag a number is stored with: the shortest width that holds it.
constexpr ArgumentTag number_tag(int64_t value) {
    if (value >= -Int8Limit && value <= Int8Limit)
        return ArgInt8;
    return value >= -Int16Limit && value <= Int16Limit ? ArgInt16 : ArgInt32;
}

// The longest text a string argument may hold.
constexpr int MaxStringLength = 79;

// Event parameters are &1 to &3.
constexpr int32_t FirstEventParam = 1;
constexpr int32_t LastEventParam = 3;

// ---- The code and the compiled file ----------------------------------------------------------

constexpr int CodeBufferSize = 8192;
constexpr int EntryTableSize = 256;

// An entry-table slot that no label has set.
constexpr uint16_t NoEntry = 0xFFFF;

// The compiled file: a 64-byte header, the code, then the event and place entries.
constexpr std::size_t ScriptHeaderSize = 64;

// Where the header's fields sit; the rest of the header is zero.
constexpr std::size_t EventCountOffset = 0;
constexpr std::size_t PlaceCountOffset = 2;
constexpr std::size_t CodeSizeOffset = 4;

// The largest file there can be: a full code area and both entry tables whole.
constexpr std::size_t MaxScriptFileSize = ScriptHeaderSize + CodeBufferSize + 4 * EntryTableSize;

}  // namespace vorn
