#include "disassembler.h"

#include <cstdio>

#include <vorn/vorn.h>
#include "code_walk.h"
#include "compiled_file.h"
#include "dis_exit_status.h"
#include "dis_state.h"
#include "disasm_messages.h"
#include "listing.h"
#include "reports.h"

namespace vorn::dis {

// The lists come from the current directory, as the compiler reads them. A problem with them
// ends the run with the compiler's own message and status.
static void load_dis_lists() {
    vorn::FileSystemProvider files;
    vorn::NullSink quiet;
    vorn::ListsResult loaded = vorn::load_lists(files, quiet);
    if (loaded.error) {
        fputs(loaded.error->vorn_text.c_str(), stdout);
        end_run(loaded.error->status);
    }
    dis.lists = std::move(loaded.lists);
}

}  // namespace vorn::dis

int run_disassembler(int argc, char** argv) {
    using namespace vorn::dis;
    reset_dis_state();
    try {
        if (argc != 2)
            usage_fault(DisUsage, MSG_DIS_USAGE);
        read_compiled_file(argv[1]);
        // The listing is the whole output, so the loaders' counts are not shown.
        load_dis_lists();
        check_header();
        check_code();
        check_entries();
        print_listing();
        finish_notes();
    } catch (const DisEnd& end) {
        return end.status;
    }
    return DisSuccess;
}
