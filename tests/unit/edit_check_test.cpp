// Names read back as written, and edits checked in memory over the compiles they reach.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <vorn/edit_check.h>

namespace {

TEST(NameReadsBack, EveryRoleReadsAPlainName) {
    for (auto role : {vorn::NameRole::Value, vorn::NameRole::Command, vorn::NameRole::Event})
        EXPECT_TRUE(vorn::name_reads_back(role, "Count2")) << static_cast<int>(role);
}

TEST(NameReadsBack, WhatTheLinesCutOrDropIsRefused) {
    for (const char* bad : {"", "\\", "a\\b", "a b", "a;b", "a\"b"})
        for (auto role : {vorn::NameRole::Value, vorn::NameRole::Command, vorn::NameRole::Event})
            EXPECT_FALSE(vorn::name_reads_back(role, bad)) << bad << " as " << static_cast<int>(role);
    // Each role cuts at its own bytes: an argument at ',', a command at '('; a command's word
    // may hold what an argument's may not.
    EXPECT_FALSE(vorn::name_reads_back(vorn::NameRole::Value, "a,b"));
    EXPECT_FALSE(vorn::name_reads_back(vorn::NameRole::Command, "a(b"));
    EXPECT_TRUE(vorn::name_reads_back(vorn::NameRole::Command, "a,b"));
    // Longer than a name may be.
    EXPECT_FALSE(vorn::name_reads_back(vorn::NameRole::Value, std::string(vorn::NameSize, 'a')));
}

class EditCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vorn-edit-check-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        write("events.lst", "OnStart 1\n");
        write("command.lst", "Say 1 1\nWait 2 1\n");
        std::filesystem::create_directory(folder_ + "/lib");
        std::filesystem::create_directory_symlink("lib", folder_ + "/ln");
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    void write(const std::string& name, const std::string& text) { std::ofstream(folder_ + "/" + name) << text; }
    void check_80_includers(const vorn::SideBySide& runner);

    std::string folder_;
};

TEST_F(EditCheckerTest, AFileReachedByTwoNamesIsOneFileInEveryCompile) {
    write("lib/s.vs", "    Say(Count)\n");
    write("a.vs", "defvar Count 1\nOnStart:\ninclude lib\\/s.vs\n");
    write("b.vs", "defvar Count 2\nOnStart:\ninclude ln\\/s.vs\n");
    vorn::EditChecker checker({});
    ASSERT_TRUE(checker.add_context(folder_, "a.vs"));
    ASSERT_TRUE(checker.add_context(folder_, "b.vs"));
    // The same script by another name is no second context.
    EXPECT_FALSE(checker.add_context(folder_, "./a.vs"));
    std::optional<vorn::FileId> id = checker.identify(1, "ln/s.vs");
    ASSERT_TRUE(id);
    EXPECT_EQ(checker.identify(0, "lib/s.vs"), id);
    EXPECT_EQ(checker.reaching(*id).size(), 2u);
    std::string path = folder_ + "/lib/s.vs";
    const std::string* text = checker.text(*id, path);
    ASSERT_NE(text, nullptr);
    // Waiting instead of saying compiles in both, but to other bytes: refused, nothing kept.
    vorn::Edit wait{vorn::Location{path, 1, 5, 8}, "Wait"};
    std::optional<vorn::FileEdit> edit = vorn::edit_file(*id, path, *text, {wait});
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->new_text, "    Wait(Count)\n");
    std::string why = checker.try_edit({*edit}, {});
    EXPECT_NE(why.find("it would change the compile of a.vs"), std::string::npos) << why;
    EXPECT_TRUE(checker.changed().empty());
    // An edit that keeps every compile's bytes and messages (a blank after the ')') is kept.
    std::optional<vorn::FileEdit> blank =
        vorn::edit_file(*id, path, *text, {vorn::Edit{vorn::Location{path, 1, 15, 15}, " "}});
    ASSERT_TRUE(blank);
    EXPECT_EQ(checker.try_edit({*blank}, {}), "");
    ASSERT_EQ(checker.changed().size(), 1u);
    EXPECT_EQ(checker.changed()[0].text, "    Say(Count) \n");
    // Edits that do not fit the text or overlap are no edit.
    EXPECT_FALSE(vorn::edit_file(*id, path, *text, {vorn::Edit{vorn::Location{path, 3, 1, 2}, "x"}}));
    EXPECT_FALSE(vorn::edit_file(*id, path, *text, {wait, wait}));
}

TEST_F(EditCheckerTest, AFixOneIncluderDoesNotOfferIsRefused) {
    write("lib/s.vs", "    Say(Moods)\n");
    write("a.vs", "defvar Moods 1\nOnStart:\ninclude lib\\/s.vs\n");
    write("b.vs", "defvar Mood 2\nOnStart:\ninclude lib\\/s.vs\n");
    vorn::EditChecker checker({});
    checker.add_context(folder_, "a.vs");
    checker.add_context(folder_, "b.vs");
    const vorn::CompileResult& b = checker.result(1);
    ASSERT_FALSE(b.diagnostics.empty());
    ASSERT_FALSE(b.diagnostics[0].fixes.empty());
    EXPECT_EQ(vorn::check_fix(checker, folder_, b.diagnostics[0].fixes[0]),
              "the compile of a.vs does not need it");
}

TEST_F(EditCheckerTest, ManyContextsAreCompiledSideBySideAndTheOneThatWouldChangeIsNamed) {
    // 80 includers, compiled in turn, in the host's threads, and by a runner that runs the
    // work once more after it is done (a later run must find nothing left to do): in each
    // but t61.vs, Other has Count's number, so writing Other for Count in the shared file
    // changes t61.vs's bytes alone. Every runner gives the same answers.
    write("lib/s.vs", "    Say(Count)\n");
    std::size_t asked = 0;
    vorn::SideBySide twice = [&asked](std::size_t count, const std::function<void()>& work) {
        asked = count;
        vorn::run_on_threads(count, work);
        work();
    };
    for (const vorn::SideBySide& runner : {vorn::SideBySide{}, vorn::SideBySide{vorn::run_on_threads}, twice})
        check_80_includers(runner);
    EXPECT_GE(asked, 2u);
}

void EditCheckerTest::check_80_includers(const vorn::SideBySide& runner) {
    vorn::EditChecker checker({}, nullptr, runner);
    for (int t = 0; t < 80; ++t) {
        std::string name = "t" + std::to_string(t) + ".vs";
        int other = t == 61 ? 200 : t;
        write(name, "defvar Count " + std::to_string(t) + "\ndefvar Other " + std::to_string(other) +
                        "\nOnStart:\ninclude lib\\/s.vs\n");
        ASSERT_TRUE(checker.add_context(folder_, name));
    }
    std::string path = folder_ + "/lib/s.vs";
    std::optional<vorn::FileId> id = checker.identify(0, "lib/s.vs");
    ASSERT_TRUE(id);
    const std::string* text = checker.text(*id, path);
    ASSERT_NE(text, nullptr);
    std::optional<vorn::FileEdit> other =
        vorn::edit_file(*id, path, *text, {vorn::Edit{vorn::Location{path, 1, 9, 14}, "Other"}});
    ASSERT_TRUE(other);
    EXPECT_EQ(checker.try_edit({*other}, {}), "it would change the compile of t61.vs (its compiled bytes)");
    EXPECT_TRUE(checker.changed().empty());
    // A blank after the ')' keeps all 80: each context's compile is now that of the new text.
    std::optional<vorn::FileEdit> blank =
        vorn::edit_file(*id, path, *text, {vorn::Edit{vorn::Location{path, 1, 15, 15}, " "}});
    ASSERT_TRUE(blank);
    std::vector<unsigned char> before = checker.result(79).code;
    EXPECT_EQ(checker.try_edit({*blank}, {}), "");
    ASSERT_EQ(checker.changed().size(), 1u);
    EXPECT_EQ(checker.result(79).code, before);
    EXPECT_EQ(checker.result(79).files.size(), checker.result(0).files.size());
}

}  // namespace
