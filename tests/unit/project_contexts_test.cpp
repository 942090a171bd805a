// The Project's answers per context: which top scripts reach a file (and a line of it), what
// one context's compile meets there, and which definition each context gives a name.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <vorn/project.h>

namespace fs = std::filesystem;

namespace {

class ProjectContexts : public ::testing::Test {
protected:
    void SetUp() override {
        std::string name = (fs::temp_directory_path() / "vorn-contexts-XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        folder = name;
        write("events.lst", "OnStart 1\n");
        write("command.lst", "Wait 0 1\n");
        // Mood is 20 for tavern.vs, 22 for market.vs, and unknown for lonely.vs.
        write("lib/shared.vs", "  Wait(Mood)\n");
        write("tavern.vs", "defvar Mood 20\ninclude lib\\/shared.vs\n");
        write("market.vs", "defvar Mood 22\ninclude lib\\/shared.vs\n");
        write("lonely.vs", "include lib\\/shared.vs\n");
        write("other.vs", "OnStart:\n  Wait(1)\n");
    }
    void TearDown() override { fs::remove_all(folder); }

    void write(const std::string& path, const std::string& text) {
        fs::path full = folder / path;
        fs::create_directories(full.parent_path());
        std::ofstream(full, std::ios::binary) << text;
    }

    fs::path folder;
};

TEST_F(ProjectContexts, EachContextReachingASharedFileAnswersForItself) {
    vorn::Project project(folder.string());
    project.load();
    std::vector<std::string> tops;
    for (const vorn::ContextView& view : project.contexts_reaching("lib/shared.vs", 1)) {
        tops.push_back(view.top);
        ASSERT_GE(view.source, 0);
        EXPECT_EQ(view.result->files[static_cast<std::size_t>(view.source)].path, "lib/shared.vs");
    }
    EXPECT_EQ(tops, (std::vector<std::string>{"lonely.vs", "market.vs", "tavern.vs"}));
    EXPECT_TRUE(project.contexts_reaching("other.vs").size() == 1);

    // Only lonely.vs's compile meets the unknown name; the merged record names it alone.
    EXPECT_EQ(project.diagnostics_in_context("lonely.vs", "lib/shared.vs").size(), 1u);
    EXPECT_TRUE(project.diagnostics_in_context("tavern.vs", "lib/shared.vs").empty());
    std::vector<vorn::ContextDiagnostic> in_shared = project.diagnostics_of("lib/shared.vs");
    ASSERT_EQ(in_shared.size(), 1u);
    EXPECT_EQ(in_shared[0].contexts, (std::vector<std::string>{"lonely.vs"}));

    // Mood in the shared file: each context's own definition; lonely.vs has none.
    std::vector<vorn::ContextSymbol> meanings = project.symbols_in_contexts("lib/shared.vs", 1, 9);
    ASSERT_EQ(meanings.size(), 2u);
    EXPECT_EQ(meanings[0].top, "market.vs");
    EXPECT_EQ(meanings[0].symbol->definition.file, "market.vs");
    EXPECT_EQ(meanings[1].top, "tavern.vs");
    EXPECT_EQ(meanings[1].symbol->definition.file, "tavern.vs");
}

TEST_F(ProjectContexts, AListThatComesBackRecompilesEveryTopScript) {
    vorn::Project project(folder.string());
    project.load();
    EXPECT_EQ(project.status(), vorn::StatusErrors);
    fs::remove(folder / "command.lst");
    project.removed("command.lst");
    EXPECT_NE(project.status(), vorn::StatusErrors);
    write("command.lst", "Wait 0 1\n");
    project.added("command.lst");
    EXPECT_EQ(project.status(), vorn::StatusErrors);
    EXPECT_EQ(project.diagnostics_of("lib/shared.vs").size(), 1u);
}

}  // namespace
