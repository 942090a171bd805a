// Test program: writes a file with write_output_file, optionally stopping just before the
// rename so that a test can look at the temporary file or send the process a signal then.
//
//   output_probe [--pause] OUTPUT DATA-FILE
//
// Writes the bytes of DATA-FILE as OUTPUT and prints the result (Written, CannotOpen or
// CannotWrite); the exit status is 0, 1 or 2 for these. With --pause, the moment the
// temporary file is complete it prints "temp PID PATH" on a line of its own and waits for a
// line on standard input (or its end) before going on to the rename.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <vorn/output_file.h>

using namespace vorn;

namespace {

void wait_for_a_line(const char* temp_path) {
    printf("temp %ld %s\n", static_cast<long>(getpid()), temp_path);
    fflush(stdout);
    char line[16];
    if (!fgets(line, sizeof line, stdin))
        return;
}

}  // namespace

int main(int argc, char** argv) {
    int arg = 1;
    if (arg < argc && strcmp(argv[arg], "--pause") == 0) {
        set_output_write_hook(wait_for_a_line);
        ++arg;
    }
    if (argc - arg != 2) {
        fprintf(stderr, "usage: output_probe [--pause] OUTPUT DATA-FILE\n");
        return 64;
    }
    FILE* fp = fopen(argv[arg + 1], "rb");
    if (!fp) {
        perror(argv[arg + 1]);
        return 65;
    }
    std::vector<unsigned char> data;
    int c;
    while ((c = getc(fp)) != EOF)
        data.push_back(static_cast<unsigned char>(c));
    fclose(fp);

    switch (write_output_file(argv[arg], data.data(), data.size())) {
    case OutputWrite::Written:
        puts("Written");
        return 0;
    case OutputWrite::CannotOpen:
        puts("CannotOpen");
        return 1;
    case OutputWrite::CannotWrite:
        puts("CannotWrite");
        return 2;
    case OutputWrite::IsInput:
        break;
    }
    return 70;
}
