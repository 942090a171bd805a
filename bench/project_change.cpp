// Loads a project with the library's project model, then changes one file on disk and
// reports the cost of bringing the project up to date: the time, the compiles it took and the
// memory. Used by project_bench.py.
//
// Usage: vorn-project-bench FOLDER CHANGED-FILE
// Prints one JSON object on standard output.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include <vorn/project.h>

namespace {

// A line of /proc/self/status in KiB ("VmRSS", "VmHWM"); 0 where there is none.
long status_kib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::stol(line.substr(prefix.size()));
    return 0;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: vorn-project-bench FOLDER CHANGED-FILE\n");
        return 1;
    }
    vorn::Project project(argv[1]);
    auto start = std::chrono::steady_clock::now();
    project.load();
    std::size_t diagnostics = project.diagnostics().size();
    std::size_t symbols = project.symbols().size();
    double load_seconds = seconds_since(start);
    std::size_t load_compiles = project.stats().compiles;
    long rss_loaded = status_kib("VmRSS");

    std::string changed = argv[2];
    std::size_t reaching = project.tops_reaching(changed).size();
    {
        std::ofstream out(project.folder() + "/" + changed, std::ios::app);
        out << "; changed\n";
    }
    start = std::chrono::steady_clock::now();
    project.changed(changed);
    double change_seconds = seconds_since(start);
    std::size_t change_compiles = project.stats().compiles - load_compiles;
    start = std::chrono::steady_clock::now();
    diagnostics = project.diagnostics().size();
    symbols = project.symbols().size();
    double requery_seconds = seconds_since(start);
    printf("{\"tops\": %zu, \"load_seconds\": %.4f, \"load_compiles\": %zu, \"rss_loaded_kib\": %ld, "
           "\"reaching\": %zu, \"change_seconds\": %.4f, \"change_compiles\": %zu, "
           "\"requery_seconds\": %.4f, \"rss_after_kib\": %ld, \"peak_kib\": %ld, "
           "\"diagnostics\": %zu, \"symbols\": %zu}\n",
           project.top_scripts().size(), load_seconds, load_compiles, rss_loaded, reaching,
           change_seconds, change_compiles, requery_seconds, status_kib("VmRSS"), status_kib("VmHWM"),
           diagnostics, symbols);
    return 0;
}
