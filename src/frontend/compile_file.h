// Reading a script file line by line: clean, echo and dispatch each line to its handler.
#pragma once

#include <cstddef>

// A script line is read in pieces of at most 299 characters.
constexpr std::size_t SourceLineSize = 300;

// A line's first word, a command word and an include's file name have at most 79 characters.
constexpr std::size_t FirstWordSize = 80;

// How deep includes may nest, so that a long chain of files cannot exhaust the stack.
constexpr int MaxIncludeDepth = 2000;

// Compiles one script file, and every file it includes, into the state.
void compile_file(const char* path);

// Copies the run of non-blank characters at text into word (FirstWordSize bytes), cut to fit.
// Returns the length of the whole run.
std::size_t copy_first_word(char* word, const char* text);
