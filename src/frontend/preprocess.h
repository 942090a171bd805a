// Cleaning a source line before it is compiled: comments, line ends, string quotes, escapes.
#pragma once

#include <cstddef>

// Rewrites a NUL-terminated line in place and returns its new length; it never grows.
std::size_t preprocess_line(char* line);
