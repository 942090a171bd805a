// The soft limit on open files, raised for include chains.
#include <sys/resource.h>

#include "../frontend/compile_file.h"
#include <vorn/compiler.h>

namespace vorn {

// Open files beside the include chain: the standard streams, a list or the output file,
// and some to spare.
constexpr rlim_t SpareFileDescriptors = 16;

void allow_deepest_include_chain() {
    const rlim_t wanted = MaxIncludeDepth + SpareFileDescriptors;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || limit.rlim_max > wanted ? wanted
                                                                               : limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace vorn
