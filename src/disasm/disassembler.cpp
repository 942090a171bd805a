#include "disassembler.h"

#include <cstdio>
#include <memory>

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
static void load_dis_lists(Disassembly& dis) {
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

int run_disassembler(int argc, char** argv, FILE* reports) {
    using namespace vorn::dis;
    // The state holds the whole file (over 9 KiB), so it lives on the heap.
    auto state = std::make_unique<Disassembly>();
    Disassembly& dis = *state;
    if (reports)
        dis.report_stream = reports;
    try {
        if (argc != 2)
            usage_fault(dis, DisUsage, MSG_DIS_USAGE);
        read_compiled_file(dis, argv[1]);
        // The listing is the whole output, so the loaders' counts are not shown.
        load_dis_lists(dis);
        check_header(dis);
        check_code(dis);
        check_entries(dis);
        print_listing(dis);
        finish_notes(dis);
    } catch (const DisEnd& end) {
        return end.status;
    }
    return DisSuccess;
}
