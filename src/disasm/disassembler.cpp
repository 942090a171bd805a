#include "disassembler.h"

#include "../lists/lists.h"
#include "code_walk.h"
#include "compiled_file.h"
#include "dis_exit_status.h"
#include "disasm_messages.h"
#include "listing.h"
#include "reports.h"

int run_disassembler(int argc, char** argv) {
    if (argc != 2)
        usage_fault(DisUsage, MSG_DIS_USAGE);
    read_compiled_file(argv[1]);
    // The listing is the whole output, so the loaders must not announce their counts.
    load_event_list(false);
    load_command_list(false);
    check_header();
    check_code();
    check_entries();
    print_listing();
    finish_notes();
    return DisSuccess;
}
