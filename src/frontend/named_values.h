// Named values: variables (defvar) and constants (defnum).
#pragma once

#include <cstdint>

// The two variables every script has without defining them.
constexpr uint16_t SelfVariable = 0x8000;
constexpr uint16_t TimeVariable = 0x8001;

void add_defvar(const char* name, int32_t value);
void add_defnum(const char* name, int32_t value);

// Index of the first variable or constant with exactly this name, or -1.
int find_defvar(const char* name);
int find_defnum(const char* name);

// Handle a cleaned line whose first word is "defvar" or "defnum".
void parse_defvar(const char* line);
void parse_defnum(const char* line);
