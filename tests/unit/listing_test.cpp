// vorn-list's view of a compile: which piece a diagnostic stands on, where the compile reached
// each file, which code each listed line owns, the answer to --at, the texts and the map.
#include <gtest/gtest.h>

#include <string>

#include <vorn/vorn.h>
#include "list/listing.h"

namespace {

const char* const Events = "OnStart 1\nOnTouch 2\n";
const char* const Commands = "Wait 10 1\nSay 11 1\nStop 12 0\n";

struct Compiled {
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    vorn::NullSink quiet;
    vorn::Compiler compiler;
    vorn::CompileResult result;

    explicit Compiled(std::initializer_list<std::pair<std::string, std::string>> scripts,
                      bool record_lines = true) {
        files.serve("events.lst", Events);
        files.serve("command.lst", Commands);
        for (const auto& [path, text] : scripts)
            files.serve(path, text);
        vorn::CompileOptions options;
        options.record_lines = record_lines;
        result = compiler.compile("main.vs", files, quiet, options);
    }
};

std::string code_of(const vorn::CompileResult& result,
                    const std::vector<vorn_list::ListedLine>& lines) {
    std::string bytes;
    for (const vorn_list::ListedLine& line : lines)
        bytes.append(result.code.begin() + line.code_begin, result.code.begin() + line.code_end);
    return bytes;
}

TEST(LibraryRecords, DiagnosticsStandOnTheirPieceAndFilesKnowWhereTheyStart) {
    Compiled c({{"main.vs", "OnStart:\n    Wait(1)\ninclude empty.vs\ninclude inc.vs\n    Wait(Nope)\n"},
                {"empty.vs", ""},
                {"inc.vs", "    Say(1, 2)\n"}});
    const vorn::CompileResult& r = c.result;
    ASSERT_EQ(r.status, vorn::StatusErrors);
    ASSERT_EQ(r.files.size(), 5u);  // the lists, main.vs, empty.vs, inc.vs
    EXPECT_EQ(r.files[2].first_piece, 0u);
    // empty.vs has no pieces: it starts where the next piece (include inc.vs) is recorded.
    EXPECT_EQ(r.files[3].first_piece, 3u);
    EXPECT_EQ(r.lines[3].line, 4u);
    EXPECT_EQ(r.files[4].first_piece, 4u);
    EXPECT_EQ(r.lines[4].file, 4u);

    ASSERT_EQ(r.diagnostics.size(), 2u);
    EXPECT_EQ(r.diagnostics[0].piece, 4);  // inc.vs line 1
    EXPECT_EQ(r.diagnostics[1].piece, 5);  // main.vs line 5, after the include
    EXPECT_EQ(r.lines[5].file, 2u);
    EXPECT_EQ(r.lines[5].line, 5u);
}

TEST(LibraryRecords, NoPiecesWithoutRecordLinesAndNoneForTheLists) {
    Compiled unrecorded({{"main.vs", "    Wait(Nope)\n"}}, false);
    ASSERT_EQ(unrecorded.result.diagnostics.size(), 1u);
    EXPECT_EQ(unrecorded.result.diagnostics[0].piece, -1);
    EXPECT_TRUE(unrecorded.result.lines.empty());

    Compiled missing({{"other.vs", ""}});
    ASSERT_EQ(missing.result.diagnostics.size(), 1u);
    EXPECT_EQ(missing.result.diagnostics[0].where.line, 0u);
    EXPECT_EQ(missing.result.diagnostics[0].piece, -1);
}

TEST(ListedLines, AnIncludeLineOwnsNoCodeAndTheBytesAddUpToTheCode) {
    Compiled c({{"main.vs", "OnStart:\n    Wait(1)\ninclude inc.vs\n    Stop()\n"},
                {"inc.vs", "    Say(5)\n    Say(300)\n"}});
    ASSERT_EQ(c.result.status, 0);
    auto lines = vorn_list::listed_lines(c.result);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2].code_begin, lines[2].code_end);  // include inc.vs
    EXPECT_EQ(lines[3].file, 3u);
    EXPECT_EQ(lines[3].code_begin, 3u);
    EXPECT_EQ(lines[3].code_end, 6u);
    EXPECT_EQ(lines[5].code_begin, 10u);  // Stop() after the included code
    EXPECT_EQ(code_of(c.result, lines), std::string(c.result.code.begin(), c.result.code.end()));
}

TEST(ListedLines, PiecesOfALongLineAreOneLineUnlessAnIncludeComesBetween) {
    std::string statement = "    Wait(1)";
    std::string long_statement = statement + std::string(299 - statement.size(), ' ') + "    Stop()\n";
    std::string long_include = "include inc.vs" + std::string(285, ' ') + "    Stop()\n";
    Compiled c({{"main.vs", long_statement + long_include}, {"inc.vs", "    Say(2)\n"}});
    ASSERT_EQ(c.result.status, 0);
    auto lines = vorn_list::listed_lines(c.result);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].line, 1u);
    EXPECT_EQ(lines[0].column, 1u);
    EXPECT_EQ(lines[0].code_end - lines[0].code_begin, 4);  // Wait(1) and Stop()
    EXPECT_EQ(lines[1].line, 2u);                           // include inc.vs
    EXPECT_EQ(lines[2].file, 3u);                           // inc.vs
    EXPECT_EQ(lines[3].line, 2u);
    EXPECT_EQ(lines[3].column, 300u);
    EXPECT_EQ(lines[3].first_piece, 4u);
}

TEST(ListedLines, ThePieceAFullCodeAreaCutShortOwnsTheBytesItWrote) {
    std::string script = "OnStart:\n";
    for (int i = 0; i < 3000; ++i)
        script += "    Wait(1)\n";  // 3 bytes each: the code area is full in line 2732
    Compiled c({{"main.vs", script}});
    ASSERT_TRUE(c.result.fatal);
    ASSERT_EQ(c.result.code.size(), static_cast<std::size_t>(vorn::CodeBufferSize));
    auto lines = vorn_list::listed_lines(c.result);
    EXPECT_EQ(lines.back().code_end, vorn::CodeBufferSize);
    EXPECT_EQ(lines.back().code_end - lines.back().code_begin, vorn::CodeBufferSize % 3);
    EXPECT_EQ(code_of(c.result, lines), std::string(c.result.code.begin(), c.result.code.end()));
    ASSERT_EQ(c.result.diagnostics.size(), 1u);
    EXPECT_EQ(static_cast<std::size_t>(c.result.diagnostics[0].piece), c.result.lines.size() - 1);
}

TEST(LineAt, FindsTheStatementThatHoldsAnOffsetAndNothingPastTheCode) {
    Compiled c({{"main.vs", "OnStart:\n    Wait(1)\n\n1\n    Say(300)\n    Stop()\nOnTouch:\n"}});
    auto lines = vorn_list::listed_lines(c.result);
    auto at = [&](uint32_t offset) { return vorn_list::line_at(lines, offset); };
    EXPECT_EQ(at(0), 1u);
    EXPECT_EQ(at(2), 1u);
    EXPECT_EQ(at(3), 4u);  // past the blank line and the place label
    EXPECT_EQ(at(6), 4u);  // Say(300) is 4 bytes
    EXPECT_EQ(at(7), 5u);
    EXPECT_EQ(at(8), std::nullopt);  // the code size: OnTouch's offset, but no statement
    EXPECT_EQ(at(70000), std::nullopt);
    vorn_list::SourceTexts texts(c.files);
    EXPECT_EQ(vorn_list::line_answer(c.result, texts, lines[*at(7)]), "main.vs:6:    Stop()");
}

TEST(SourceTexts, LinesAsInTheFileWithoutLineEndsAndUpToTheEndOfFileMark) {
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    files.serve("a.vs", "one\r\n\ttwo ; c\\;\n\nlast\x1A" "after\n");
    vorn_list::SourceTexts texts(files);
    EXPECT_EQ(texts.line("a.vs", 1), "one");
    EXPECT_EQ(texts.line("a.vs", 2), "\ttwo ; c\\;");
    EXPECT_EQ(texts.line("a.vs", 3), "");
    EXPECT_EQ(texts.line("a.vs", 4), "last");
    EXPECT_EQ(texts.line("a.vs", 5), "");
    EXPECT_EQ(texts.line("a.vs", 0), "");
    EXPECT_EQ(texts.line("gone.vs", 1), "");
}

TEST(MapFile, OneSymbolALineFirstDefinitionsOnlyAndAwkwardPathsEscaped) {
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    files.serve("events.lst", Events);
    files.serve("command.lst", Commands);
    files.serve("odd\tname\\.vs", "defvar V 3\ndefvar V 4\ndefnum N -1\nOnTouch:\n3\n    Wait(V)\n");
    vorn::NullSink quiet;
    vorn::Compiler compiler;
    vorn::CompileOptions options;
    options.record_lines = true;
    vorn::CompileResult r = compiler.compile("odd\tname\\.vs", files, quiet, options);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(vorn_list::map_file(r),
              "event\tOnTouch\t0\todd\\tname\\\\.vs\t4\n"
              "place\t3\t0\todd\\tname\\\\.vs\t5\n"
              "defvar\tV\t3\todd\\tname\\\\.vs\t1\n"
              "defnum\tN\t65535\todd\\tname\\\\.vs\t3\n");
}

TEST(Listing, ErrorsStandUnderTheirLinesAndHeadersFollowTheIncludes) {
    Compiled c({{"main.vs", "OnStart:\ninclude inc.vs\n    Stop()\n"}, {"inc.vs", "    Wait(Nope)\n"}});
    vorn_list::SourceTexts texts(c.files);
    std::string text = vorn_list::listing(c.result, texts);
    EXPECT_NE(text.find("=== inc.vs (included from main.vs:2)\n"
                        "    1 0000  00                           Wait(Nope)\n"
                        "inc.vs:1:10: error: Unknown argument 'Nope'\n"
                        "=== main.vs (back from inc.vs)\n"
                        "    3 0001  02                           Stop()\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("=== 2 bytes of code, 1 error, status 10\n"), std::string::npos) << text;
}

}  // namespace
