// Making a table's storage, the one way every table of the state gets it.
#pragma once

#include <cstdlib>

#include "messages.h"

// Makes room for capacity records, once: a later run in the same process keeps the first
// run's storage. Without memory for it, the run ends with the status and message.
template <typename Record>
void allocate_table(Record** table, int capacity, int status, const char* message) {
    if (!*table)
        *table = static_cast<Record*>(malloc(sizeof(Record) * static_cast<std::size_t>(capacity)));
    if (!*table)
        fatal(status, "%s", message);
}
