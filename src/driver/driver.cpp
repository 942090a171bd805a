#include "driver.h"

#include <cstdio>

#include "../codegen/script_file.h"
#include "../common/allocate_table.h"
#include "../common/compile_state.h"
#include "../common/exit_status.h"
#include "../common/messages.h"
#include "../common/source_reader.h"
#include "../frontend/compile_file.h"
#include "../frontend/named_values.h"
#include "../lists/lists.h"
#include "driver_messages.h"

void init_tables() {
    load_event_list();
    load_command_list();
    allocate_table(&state.defvar_table, MaxDefvars, ExitNoMemoryDefvars, MSG_NO_MEMORY_DEFVARS);
    allocate_table(&state.defnum_table, MaxDefnums, ExitNoMemoryDefnums, MSG_NO_MEMORY_DEFNUMS);
    for (int i = 0; i < EntryTableSize; ++i) {
        state.place_table[i] = NoEntry;
        state.event_entries[i] = NoEntry;
    }
}

int run_compiler(int argc, char** argv) {
    printf(MSG_BANNER);
    if (argc != 3)
        fatal(ExitUsage, MSG_USAGE);
    const char* script_path = argv[1];
    const char* output_path = argv[2];
    remember_output_file(output_path);
    init_tables();
    add_defvar("Self", SelfVariable);
    add_defvar("Time", TimeVariable);
    compile_file(script_path);
    int status = ExitSuccess;
    if (state.error_count != 0) {
        printf(MSG_ERROR_COUNT, state.error_count);
        status = ExitCompileErrors;
    } else {
        write_script_file(output_path);
    }
    printf(MSG_DONE);
    return status;
}
