// Statements: a command of the command list and its arguments, compiled to bytecode.
#pragma once

// Compiles one cleaned line that starts with white space.
void compile_statement(const char* line);

// Splits and encodes the arguments; text starts at the statement's first '('.
void compile_arguments(const char* text, int arg_count);

// The words a condition argument may be; a condition compiles to its index here.
constexpr int ConditionKeywordCount = 8;
extern const char* const ConditionKeywordTable[ConditionKeywordCount];

// Index of a condition keyword, or -1.
int find_condition(const char* name);

// Removes leading and trailing white space in place.
void trim_blanks(char* text);
