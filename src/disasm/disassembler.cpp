#include "disassembler.h"

#include <cstdio>
#include <string_view>
#include <memory>

#include <vorn/compiler.h>
#include <vorn/project.h>
#include "code_walk.h"
#include "compiled_file.h"
#include "dis_exit_status.h"
#include "dis_state.h"
#include "disasm_messages.h"
#include "listing.h"
#include "reports.h"
#include "symbol_map.h"

namespace vorn::dis {

// The lists come from the nearest folder from the current one up that holds both, as every
// tool but vorn finds them, and are read by the compiler's own loader. When no folder holds
// both, they are read from the current one, and a note says where the search looked. A problem
// with them ends the run with the compiler's own message and status.
static void load_dis_lists(Disassembly& dis) {
    vorn::ListsSearch search = vorn::find_lists();
    vorn::OverlayProvider files(search.folder);
    vorn::NullSink quiet;
    vorn::ListsResult loaded = vorn::load_lists(files, quiet);
    if (loaded.error) {
        fputs(loaded.error->vorn_text.c_str(), stdout);
        if (search.folder.empty()) {
            fflush(stdout);
            fprintf(stderr, "vorn-dis: note: %s\n", vorn::escaped_text(vorn::lists_not_found(search)).c_str());
        }
        end_run(loaded.error->status);
    }
    dis.lists = std::move(loaded.lists);
}

// --help and --version, alone on the command line, answer and end the run with 0.
static bool answer_help_or_version(int argc, char** argv) {
    if (argc != 2)
        return false;
    std::string_view option = argv[1];
    if (option == "--help" || option == "-h")
        fputs(MSG_DIS_HELP, stdout);
    else if (option == "--version")
        printf(MSG_DIS_VERSION, VORN_VERSION);
    else
        return false;
    return true;
}

// The file, and the map after --map (or --map=): false unless the command line is exactly
// these, in any order.
static bool take_arguments(int argc, char** argv, const char** map, const char** file) {
    constexpr std::string_view MapOption = "--map";
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == MapOption && i + 1 < argc && !*map) {
            *map = argv[++i];
        } else if (arg.substr(0, MapOption.size() + 1) == "--map=" && !*map) {
            *map = argv[i] + MapOption.size() + 1;
        } else if (!*file && (arg.empty() || arg[0] != '-' || arg == "-")) {
            *file = argv[i];
        } else {
            return false;
        }
    }
    return *file != nullptr;
}

}  // namespace vorn::dis

int run_disassembler(int argc, char** argv, FILE* reports) {
    using namespace vorn::dis;
    // The state holds the whole file (over 9 KiB), so it lives on the heap.
    auto state = std::make_unique<Disassembly>();
    Disassembly& dis = *state;
    if (reports)
        dis.report_stream = reports;
    if (answer_help_or_version(argc, argv))
        return DisSuccess;
    try {
        const char* map = nullptr;
        const char* file = nullptr;
        if (!take_arguments(argc, argv, &map, &file))
            usage_fault(dis, DisUsage, MSG_DIS_USAGE);
        read_compiled_file(dis, file);
        if (map)
            read_symbol_map(dis, map);
        // The listing is the whole output, so the loaders' counts are not shown.
        load_dis_lists(dis);
        check_header(dis);
        check_code(dis);
        check_entries(dis);
        check_symbol_map(dis);
        print_listing(dis);
        finish_notes(dis);
    } catch (const DisEnd& end) {
        return end.status;
    }
    return DisSuccess;
}
