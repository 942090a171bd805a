// The facts of the language that the compiler and the disassembler both read: argument tags
// and their widths, the number limits, the predefined variables, the condition keywords and
// the directive words.
#pragma once

#include <cstdint>
#include <cstring>

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

// The variable numbers a defvar may give, 0 to 255.
constexpr int32_t MaxDefvarNumber = 255;

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

// The directive words that may start a line.
constexpr const char* DefvarWord = "defvar";
constexpr const char* DefnumWord = "defnum";
constexpr const char* IncludeWord = "include";

// A line's first word ending in this is an event label.
constexpr char EventLabelEnd = ':';
