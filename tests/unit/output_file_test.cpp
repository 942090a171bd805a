#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <vorn/output_file.h>

using namespace vorn;

namespace {

const std::string NewBytes = std::string("\x00\x01\x02new compiled file\n\xff", 22);
const std::string OldBytes = "the last good compiled file\n";

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

OutputWrite write_new(const std::string& path) {
    return write_output_file(path.c_str(), NewBytes.data(), NewBytes.size());
}

// What the hook saw, for the test that set it.
struct HookSight {
    int calls = 0;
    std::string temp_path;
    std::string temp_bytes;
    std::string output_bytes;  // of HookSight::output, at that moment
    struct sigaction term, hup, xfsz;
};
HookSight sight;
std::string watched_output;

void look_before_rename(const char* temp_path) {
    ++sight.calls;
    sight.temp_path = temp_path;
    sight.temp_bytes = read_file(temp_path);
    sight.output_bytes = read_file(watched_output);
    sigaction(SIGTERM, nullptr, &sight.term);
    sigaction(SIGHUP, nullptr, &sight.hup);
    sigaction(SIGXFSZ, nullptr, &sight.xfsz);
}

extern "C" void do_nothing(int) {}

// Each test runs in a fresh folder of its own, which is the current directory.
class OutputFile : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/vorn-output-unit-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        dir_ = folder;
        ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
        ASSERT_EQ(chdir(folder), 0);
        sight = HookSight();
    }
    void TearDown() override {
        set_output_write_hook(nullptr);
        ASSERT_EQ(chdir(previous_), 0);
        std::string command = "chmod -R u+rwx '" + dir_ + "' && rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string dir_;
    char previous_[PATH_MAX];
};

TEST_F(OutputFile, ReplacesTheOutputOnlyOnceTheTemporaryFileBesideItIsComplete) {
    mkdir("sub", 0755);
    write_file("sub/out.bin", OldBytes);
    watched_output = "sub/out.bin";
    set_output_write_hook(look_before_rename);
    EXPECT_EQ(write_new("sub/out.bin"), OutputWrite::Written);
    ASSERT_EQ(sight.calls, 1);
    EXPECT_EQ(sight.temp_bytes, NewBytes);
    EXPECT_EQ(sight.output_bytes, OldBytes);
    std::string name = sight.temp_path.substr(sight.temp_path.rfind('/') + 1);
    EXPECT_EQ(sight.temp_path.substr(0, 4), "sub/");
    EXPECT_EQ(name.substr(0, 14), ".out.bin.vorn-") << name;
    EXPECT_EQ(name.size(), 20u) << name;
    EXPECT_EQ(read_file("sub/out.bin"), NewBytes);
    EXPECT_EQ(names_in("sub"), std::vector<std::string>{"out.bin"});
}

TEST_F(OutputFile, TemporaryFileOfALinkedOutputIsBesideTheFileAtTheEnd) {
    mkdir("a", 0755);
    mkdir("a/b", 0755);
    write_file("a/real.bin", OldBytes);
    ASSERT_EQ(symlink("../real.bin", "a/b/hop"), 0);
    ASSERT_EQ(symlink("a/b/hop", "out.bin"), 0);
    watched_output = "a/real.bin";
    set_output_write_hook(look_before_rename);
    EXPECT_EQ(write_new("out.bin"), OutputWrite::Written);
    EXPECT_EQ(sight.temp_path.substr(0, 19), "a/b/../.real.bin.vo") << sight.temp_path;
    EXPECT_EQ(sight.output_bytes, OldBytes);
    EXPECT_EQ(read_file("a/real.bin"), NewBytes);
    char link[PATH_MAX] = {};
    ASSERT_GT(readlink("out.bin", link, sizeof link - 1), 0);
    EXPECT_STREQ(link, "a/b/hop");
    EXPECT_EQ(names_in("a"), (std::vector<std::string>{"b", "real.bin"}));
}

TEST_F(OutputFile, ALongNameIsCutInTheTemporaryName) {
    std::string name(NAME_MAX, 'n');
    write_file(name, OldBytes);
    watched_output = name;
    set_output_write_hook(look_before_rename);
    EXPECT_EQ(write_new(name), OutputWrite::Written);
    EXPECT_EQ(sight.temp_path.size(), static_cast<std::size_t>(NAME_MAX)) << sight.temp_path;
    EXPECT_EQ(read_file(name), NewBytes);
    EXPECT_EQ(names_in("."), std::vector<std::string>{name});
}

TEST_F(OutputFile, AnEmptyFileIsAFile) {
    write_file("out.bin", OldBytes);
    EXPECT_EQ(write_output_file("out.bin", "", 0), OutputWrite::Written);
    EXPECT_EQ(read_file("out.bin"), "");
}

TEST_F(OutputFile, PathsThatNameNoFileCannotBeOpened) {
    mkdir("folder", 0755);
    write_file("plain", OldBytes);
    ASSERT_EQ(symlink("loop2", "loop1"), 0);
    ASSERT_EQ(symlink("loop1", "loop2"), 0);
    ASSERT_EQ(symlink("folder", "to-folder"), 0);
    for (const char* path : {"", "folder", "folder/", "to-folder", "new/", "missing/out.bin",
                             "plain/out.bin", "loop1", "/"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(write_new(path), OutputWrite::CannotOpen);
    }
    EXPECT_EQ(names_in("."),
              (std::vector<std::string>{"folder", "loop1", "loop2", "plain", "to-folder"}));
    EXPECT_EQ(names_in("folder"), std::vector<std::string>{});
    EXPECT_EQ(read_file("plain"), OldBytes);
}

TEST_F(OutputFile, DevicesAreWrittenAsTheyAre) {
    EXPECT_EQ(write_new("/dev/null"), OutputWrite::Written);
    EXPECT_EQ(write_new("/dev/full"), OutputWrite::CannotWrite);
    ASSERT_EQ(symlink("/dev/full", "full.bin"), 0);
    EXPECT_EQ(write_new("full.bin"), OutputWrite::CannotWrite);
    struct stat st;
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(names_in("."), std::vector<std::string>{"full.bin"});
}

// /dev/fd/N leads through /proc to an open file, not to a name: write to that file itself.
TEST_F(OutputFile, ProcLinksReachTheOpenFile) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    std::string through_pipe = "/dev/fd/" + std::to_string(pipe_ends[1]);
    EXPECT_EQ(write_new(through_pipe), OutputWrite::Written);
    close(pipe_ends[1]);
    std::string received(NewBytes.size() + 1, '\0');
    EXPECT_EQ(read(pipe_ends[0], &received[0], received.size()),
              static_cast<ssize_t>(NewBytes.size()));
    close(pipe_ends[0]);

    write_file("open.bin", OldBytes);
    int fd = open("open.bin", O_RDWR);
    ASSERT_GE(fd, 0);
    struct stat before, after;
    ASSERT_EQ(fstat(fd, &before), 0);
    EXPECT_EQ(write_new("/dev/fd/" + std::to_string(fd)), OutputWrite::Written);
    ASSERT_EQ(stat("open.bin", &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(read_file("open.bin"), NewBytes);
    close(fd);
    EXPECT_EQ(names_in("."), std::vector<std::string>{"open.bin"});
}

TEST_F(OutputFile, SignalDispositionsAndMaskAreRestored) {
    struct sigaction custom = {}, ignore = {}, saved_term, saved_hup, saved_xfsz;
    custom.sa_handler = do_nothing;
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGTERM, &custom, &saved_term);
    sigaction(SIGHUP, &ignore, &saved_hup);
    sigaction(SIGXFSZ, &custom, &saved_xfsz);
    sigset_t usr1, before_mask, after_mask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, &before_mask);
    sigprocmask(SIG_BLOCK, nullptr, &before_mask);

    watched_output = "out.bin";
    set_output_write_hook(look_before_rename);
    EXPECT_EQ(write_new("out.bin"), OutputWrite::Written);

    // While the temporary file existed: our handler for SIGTERM, SIGHUP still ignored.
    EXPECT_NE(sight.term.sa_handler, do_nothing);
    EXPECT_NE(sight.term.sa_handler, SIG_DFL);
    EXPECT_EQ(sight.hup.sa_handler, SIG_IGN);
    EXPECT_EQ(sight.xfsz.sa_handler, SIG_IGN);
    // Afterwards: everything as it was.
    struct sigaction now;
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, do_nothing);
    sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_IGN);
    sigaction(SIGXFSZ, nullptr, &now);
    EXPECT_EQ(now.sa_handler, do_nothing);
    sigprocmask(SIG_BLOCK, nullptr, &after_mask);
    for (int signal_number = 1; signal_number < NSIG; ++signal_number)
        EXPECT_EQ(sigismember(&after_mask, signal_number), sigismember(&before_mask, signal_number))
            << signal_number;

    sigprocmask(SIG_UNBLOCK, &usr1, nullptr);
    sigaction(SIGTERM, &saved_term, nullptr);
    sigaction(SIGHUP, &saved_hup, nullptr);
    sigaction(SIGXFSZ, &saved_xfsz, nullptr);
}

// In a child of its own: the file-size limit and SIGXFSZ at its default action would end
// this process otherwise.
TEST_F(OutputFile, AWriteBeyondTheFileSizeLimitFailsAndKeepsTheOldFile) {
    write_file("out.bin", OldBytes);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 10;
        setrlimit(RLIMIT_FSIZE, &limit);
        OutputWrite result = write_new("out.bin");
        struct sigaction now;
        sigaction(SIGXFSZ, nullptr, &now);
        _exit(result == OutputWrite::CannotWrite && now.sa_handler == SIG_DFL ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(read_file("out.bin"), OldBytes);
    EXPECT_EQ(names_in("."), std::vector<std::string>{"out.bin"});
}

TEST_F(OutputFile, TheOldFilesOwnerIsKeptWhereWeMayGiveIt) {
    if (geteuid() != 0)
        GTEST_SKIP() << "only root may give a file to another user";
    write_file("out.bin", OldBytes);
    ASSERT_EQ(chown("out.bin", 65534, 65534), 0);
    ASSERT_EQ(chmod("out.bin", 0640), 0);
    EXPECT_EQ(write_new("out.bin"), OutputWrite::Written);
    struct stat st;
    ASSERT_EQ(stat("out.bin", &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(read_file("out.bin"), NewBytes);
}

TEST_F(OutputFile, NoSetIdBitIsCarriedOver) {
    write_file("out.bin", OldBytes);
    ASSERT_EQ(chmod("out.bin", 06755), 0);
    EXPECT_EQ(write_new("out.bin"), OutputWrite::Written);
    struct stat st;
    ASSERT_EQ(stat("out.bin", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
}

}  // namespace
