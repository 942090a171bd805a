// A whole file read at once, through a provider.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace vorn {

class SourceProvider;

// The whole text of the file at path as the provider serves it (the file system, or an
// editor's unsaved text): nullopt when it cannot be opened, a read fails (a directory), or it
// holds more than limit bytes. Reads it exactly as it is, an end-of-file mark included.
std::optional<std::string> read_whole_file(SourceProvider& provider, const std::string& path,
                                           std::size_t limit);

}  // namespace vorn
