// The tools' whole-file reader and number parser, through the public interface only.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <vorn/language.h>
#include <vorn/parse_unsigned.h>
#include <vorn/read_file.h>
#include <vorn/sources.h>

namespace {

TEST(ParseUnsigned, ReadsDecimalAndWithHexAllowedHexadecimal) {
    EXPECT_EQ(vorn::parse_unsigned("0", 100, false), 0u);
    EXPECT_EQ(vorn::parse_unsigned("4294967295", UINT32_MAX, false), 4294967295u);
    EXPECT_EQ(vorn::parse_unsigned("0x1F", 100, true), 31u);
    EXPECT_EQ(vorn::parse_unsigned("0XfF", 255, true), 255u);
    // Leading zeros are still decimal, not octal.
    EXPECT_EQ(vorn::parse_unsigned("010", 100, true), 10u);
}

TEST(ParseUnsigned, RefusesWhatIsNotAllANumberWithinMax) {
    for (const char* bad : {"", "x", "0x", "-1", "+1", " 1", "1 ", "1a", "12345678901234567890123"})
        EXPECT_EQ(vorn::parse_unsigned(bad, UINT64_MAX, true), std::nullopt) << bad;
    // Hexadecimal only where allowed; "0x0x1" is not a number either.
    EXPECT_EQ(vorn::parse_unsigned("0x10", 100, false), std::nullopt);
    EXPECT_EQ(vorn::parse_unsigned("0x0x1", 100, true), std::nullopt);
    // max is the largest value taken.
    EXPECT_EQ(vorn::parse_unsigned("4294967296", UINT32_MAX, true), std::nullopt);
    EXPECT_EQ(vorn::parse_unsigned("0x100000000", UINT32_MAX, true), std::nullopt);
    EXPECT_EQ(vorn::parse_unsigned("101", 100, false), std::nullopt);
}

class ReadWholeFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vorn-files-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder_ + "'").c_str()); }
    void write(const std::string& name, const std::string& bytes) {
        FILE* f = fopen((folder_ + "/" + name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    std::string folder_;
};

TEST_F(ReadWholeFile, ReadsEveryByteAsItIs) {
    // More than one block, with a NUL and an end-of-file mark inside.
    std::string bytes(40000, 'a');
    bytes[5] = '\0';
    bytes[6] = static_cast<char>(vorn::EndOfFileMark);
    write("big.vs", bytes);
    vorn::FileSystemProvider files(folder_);
    EXPECT_EQ(vorn::read_whole_file(files, "big.vs", SIZE_MAX), bytes);
    EXPECT_EQ(vorn::read_whole_file(files, "big.vs", bytes.size()), bytes);
    write("empty.vs", "");
    EXPECT_EQ(vorn::read_whole_file(files, "empty.vs", 0), "");
}

TEST_F(ReadWholeFile, FailsOnAMissingFileAFolderOrMoreThanTheLimit) {
    write("t.vs", "0123456789");
    vorn::FileSystemProvider files(folder_);
    EXPECT_EQ(vorn::read_whole_file(files, "missing.vs", SIZE_MAX), std::nullopt);
    ASSERT_EQ(mkdir((folder_ + "/sub").c_str(), 0755), 0);
    EXPECT_EQ(vorn::read_whole_file(files, "sub", SIZE_MAX), std::nullopt);
    EXPECT_EQ(vorn::read_whole_file(files, "t.vs", 9), std::nullopt);
}

TEST_F(ReadWholeFile, ReadsAnEditorsUnsavedTextThroughAnOverlay) {
    write("t.vs", "on disk\n");
    vorn::OverlayProvider files(folder_);
    files.serve("t.vs", "unsaved\n");
    EXPECT_EQ(vorn::read_whole_file(files, "t.vs", SIZE_MAX), "unsaved\n");
    files.forget("t.vs");
    EXPECT_EQ(vorn::read_whole_file(files, "t.vs", SIZE_MAX), "on disk\n");
}

// A provider that opens regular files only refuses anything else unopened and says why;
// by default it opens what the path names, as vorn does.
TEST(RegularFilesOnly, RefusesFifosDevicesFoldersAndFilesOverTheBound) {
    char folder[] = "/tmp/vorn-regular-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string base = folder;
    ASSERT_EQ(mkfifo((base + "/pipe").c_str(), 0600), 0);
    FILE* big = fopen((base + "/big").c_str(), "w");
    ASSERT_NE(big, nullptr);
    fputs("0123456789", big);
    fclose(big);

    vorn::FileSystemProvider provider(base);
    provider.open_regular_files_only(9);
    struct Case {
        std::string path;
        vorn::OpenRefusal refusal;
    };
    for (const Case& c : {Case{"pipe", vorn::OpenRefusal::NotRegularFile}, Case{"/dev/zero", vorn::OpenRefusal::NotRegularFile},
                          Case{"/dev/stdin", vorn::OpenRefusal::NotRegularFile}, Case{".", vorn::OpenRefusal::NotRegularFile},
                          Case{"big", vorn::OpenRefusal::TooLarge}, Case{"missing", vorn::OpenRefusal::None}}) {
        EXPECT_EQ(provider.open(c.path), nullptr) << c.path;
        EXPECT_EQ(provider.refusal(), c.refusal) << c.path;
    }
    provider.open_regular_files_only(10);
    EXPECT_NE(provider.open("big"), nullptr);
    EXPECT_EQ(provider.refusal(), vorn::OpenRefusal::None);

    vorn::FileSystemProvider as_vorn(base);
    EXPECT_NE(as_vorn.open("/dev/zero"), nullptr);
    EXPECT_NE(as_vorn.open("."), nullptr);
    unlink((base + "/pipe").c_str());
    unlink((base + "/big").c_str());
    rmdir(folder);
}

// A device or a FIFO may never end: the tools read MaxStreamSize of it, then the read fails and
// says why; vorn's driver reads on.
TEST(StreamBound, ADeviceIsReadUpToTheBoundUnlessReadWhole) {
    constexpr uint64_t bound = vorn::FileSystemProvider::MaxStreamSize;
    std::vector<unsigned char> block(1 << 20);
    auto read_up_to = [&](vorn::InputFile& input, uint64_t most, long* last) {
        uint64_t total = 0;
        while (total < most && (*last = input.read(block.data(), block.size())) > 0)
            total += static_cast<uint64_t>(*last);
        return total;
    };
    vorn::FileSystemProvider tools;
    std::unique_ptr<vorn::InputFile> zero = tools.open("/dev/zero");
    ASSERT_NE(zero, nullptr);
    long last = 0;
    EXPECT_EQ(read_up_to(*zero, UINT64_MAX, &last), bound);
    EXPECT_EQ(last, -1);
    EXPECT_TRUE(zero->over_bound());

    vorn::FileSystemProvider as_vorn;
    as_vorn.read_streams_whole();
    zero = as_vorn.open("/dev/zero");
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(read_up_to(*zero, bound + block.size(), &last), bound + block.size());
    EXPECT_FALSE(zero->over_bound());
}

}  // namespace
