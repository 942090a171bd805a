// What the library gives editor tools: lines cleaned as a compile cleans them, with the way
// back to raw columns, and the file record that each diagnostic and definition stands in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vorn/compiler.h>

namespace {

std::string marks(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) == vorn::CleanOpenQuote)
            c = '<';
        else if (static_cast<unsigned char>(c) == vorn::CleanCloseQuote)
            c = '>';
    }
    return text;
}

TEST(CleanLine, DropsCommentsAndBackslashesAndMapsBackToRawColumns) {
    vorn::CleanedLine line = vorn::clean_line("    Say(a\\;b) ; rest");
    EXPECT_EQ(line.text, "    Say(a;b) ");
    // The backslash at 9 is gone: the ';' after it comes from raw column 10.
    EXPECT_EQ(line.raw_offsets[9], 10u);
    EXPECT_EQ(line.raw_offsets[12], 13u);
    EXPECT_EQ(line.raw_end, 14u);
    EXPECT_EQ(line.raw_offsets.size(), line.text.size());
}

TEST(CleanLine, MarksStringQuotesAndKeepsCommentCharactersInStrings) {
    vorn::CleanedLine line = vorn::clean_line("    Say(\"a;b/\\\"c\") / x\r\n");
    EXPECT_EQ(marks(line.text), "    Say(<a;b/\"c>) ");
    EXPECT_EQ(line.raw_end, 19u);
}

TEST(CleanLine, StopsAtALineEndOrANulByte) {
    EXPECT_EQ(vorn::clean_line("include a.vs\r\nnext").text, "include a.vs");
    vorn::CleanedLine line = vorn::clean_line(std::string("ab\0cd", 5));
    EXPECT_EQ(line.text, "ab");
    EXPECT_EQ(line.raw_end, 2u);
}

class Sources : public ::testing::Test {
protected:
    vorn::CompileResult compile(const std::string& main) {
        files.serve("events.lst", "OnStart 1\n");
        files.serve("command.lst", "Say 1 1\n");
        files.serve("main.vs", main);
        files.serve("lib.vs", "defnum Limit 3\n    Say(Nope)\n");
        vorn::CompileOptions options;
        options.keep_going = true;
        return compiler.compile("main.vs", files, sink, options);
    }
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    vorn::NullSink sink;
    vorn::Compiler compiler;
};

TEST_F(Sources, DiagnosticsAndDefinitionsNameTheirFileRecord) {
    vorn::CompileResult result = compile("defvar Count 1\ninclude lib.vs\nOnStart:\n    Say(Gone)\n");
    // events.lst, command.lst, main.vs, lib.vs.
    ASSERT_EQ(result.files.size(), 4u);
    ASSERT_EQ(result.diagnostics.size(), 2u);
    EXPECT_EQ(result.diagnostics[0].source, 3);  // Nope, in lib.vs
    EXPECT_EQ(result.diagnostics[1].source, 2);  // Gone, in main.vs
    std::vector<std::pair<std::string, int>> sources;
    for (const vorn::Definition& definition : result.definitions)
        sources.emplace_back(definition.name, definition.source);
    EXPECT_EQ(sources, (std::vector<std::pair<std::string, int>>{
                           {"Self", -1}, {"Time", -1}, {"Count", 2}, {"Limit", 3}, {"OnStart", 2}}));
}

TEST_F(Sources, AnIncludeThatCannotBeOpenedStandsInTheIncluder) {
    vorn::CompileResult result = compile("include nothere.vs\n");
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_EQ(result.diagnostics[0].kind, vorn::DiagnosticKind::CannotOpenFile);
    EXPECT_EQ(result.diagnostics[0].source, 2);
}

}  // namespace
