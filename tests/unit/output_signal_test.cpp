// The output writer's handling of a signal that arrives while its temporary file exists.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <vorn/output_file.h>

using namespace vorn;

namespace {

class OutputSignal : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorn-output-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        dir_ = name.data();
        output_ = dir_ + "/out.bin";
        std::ofstream(output_) << "old bytes";
    }
    void TearDown() override {
        for (const std::string& name : entries())
            unlink((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir_.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

    std::string content() const {
        std::ifstream in(output_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dir_;
    std::string output_;
};

int signal_to_raise = 0;
void raise_signal(const char*) { raise(signal_to_raise); }

// In the child of a death test: the signal comes once the temporary file is complete. The
// alarm ends a child that neither dies of it nor returns.
void write_with_signal(const std::string& output, int signal_number) {
    signal_to_raise = signal_number;
    set_output_write_hook(raise_signal);
    alarm(3);
    write_output_file(output.c_str(), "new bytes", 9);
    _exit(0);
}

TEST_P(OutputSignal, EndsTheProcessAsTheSignalWouldAndLeavesNoTemporaryFile) {
    int signal_number = GetParam();
    EXPECT_EXIT(write_with_signal(output_, signal_number), ::testing::KilledBySignal(signal_number),
                "");
    EXPECT_EQ(entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(content(), "old bytes");
}

TEST_P(OutputSignal, AnIgnoredSignalStaysIgnoredAndTheWriteCompletes) {
    int signal_number = GetParam();
    auto ignored_and_written = [&] {
        signal(signal_number, SIG_IGN);
        signal_to_raise = signal_number;
        set_output_write_hook(raise_signal);
        alarm(3);
        _exit(write_output_file(output_.c_str(), "new bytes", 9) == OutputWrite::Written ? 0 : 1);
    };
    EXPECT_EXIT(ignored_and_written(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(entries(), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(content(), "new bytes");
}

INSTANTIATE_TEST_SUITE_P(CleanupSignals, OutputSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

}  // namespace
