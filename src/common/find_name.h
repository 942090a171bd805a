// The one way every table of names is searched.
#pragma once

#include <cstring>

namespace vorn {

// Index of the first record whose name equals name exactly, byte by byte, or -1. Later
// records of the same name are never found.
template <typename Record>
int find_name(const Record* table, int count, const char* name) {
    // Names mostly differ in their first byte: that is compared before the call.
    for (int i = 0; i < count; ++i)
        if (table[i].name[0] == name[0] && strcmp(table[i].name, name) == 0)
            return i;
    return -1;
}

}  // namespace vorn
