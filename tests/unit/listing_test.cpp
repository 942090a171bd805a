// vorn-list's view of a compile: which piece a diagnostic stands on, where the compile reached
// each file, which code each listed line owns as the compile hands the lines on, the answer to
// --at, the texts read in step with the compile, and the map.
#include <gtest/gtest.h>

#include <string>

#include <vorn/compiler.h>
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

// The listed lines of a compile, as a follower is handed them while it runs, with their bytes
// taken from the code area at that time.
struct Collector : vorn_list::LineFollower {
    explicit Collector(vorn_list::SourceTexts& texts) : LineFollower(texts) {}
    std::vector<vorn_list::ListedLine> lines;
    // The texts of each line's diagnostics, and of those on no line.
    std::vector<std::vector<std::string>> line_diagnostics;
    std::vector<std::string> unplaced_diagnostics;
    std::string bytes;

protected:
    void line(const vorn_list::ListedLine& line, const std::vector<vorn::Diagnostic>& diagnostics,
              const unsigned char* code, const vorn::CompileResult&) override {
        lines.push_back(line);
        line_diagnostics.emplace_back();
        for (const vorn::Diagnostic& d : diagnostics)
            line_diagnostics.back().push_back(d.text);
        bytes.append(code + line.code_begin, code + line.code_end);
    }
    void unplaced(const std::vector<vorn::Diagnostic>& diagnostics) override {
        for (const vorn::Diagnostic& d : diagnostics)
            unplaced_diagnostics.push_back(d.text);
    }
};

// Compiles main.vs with a follower of type Follower, made from the texts and args.
template <typename Follower, typename... Args>
struct Followed {
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    vorn_list::SourceTexts texts{files};
    Follower follower;
    vorn::CompileResult result;

    Followed(std::initializer_list<std::pair<std::string, std::string>> scripts, Args... args)
        : follower(texts, args...) {
        files.serve("events.lst", Events);
        files.serve("command.lst", Commands);
        for (const auto& [path, text] : scripts)
            files.serve(path, text);
        vorn::NullSink quiet;
        vorn::Compiler compiler;
        vorn::CompileOptions options;
        options.line_observer = &follower;
        options.keep_diagnostics = false;
        result = compiler.compile("main.vs", files, quiet, options);
        follower.finish(result);
    }
    std::string code() const { return std::string(result.code.begin(), result.code.end()); }
};
using Collected = Followed<Collector>;

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
    Collected c({{"main.vs", "OnStart:\n    Wait(1)\ninclude inc.vs\n    Stop()\n"},
                 {"inc.vs", "    Say(5)\n    Say(300)\n"}});
    ASSERT_EQ(c.result.status, 0);
    const auto& lines = c.follower.lines;
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2].code_begin, lines[2].code_end);  // include inc.vs
    EXPECT_EQ(lines[3].file, 3u);
    EXPECT_EQ(lines[3].code_begin, 3u);
    EXPECT_EQ(lines[3].code_end, 6u);
    EXPECT_EQ(lines[5].code_begin, 10u);  // Stop() after the included code
    EXPECT_EQ(c.follower.bytes, c.code());
    // Nothing of the lines is kept in the result.
    EXPECT_TRUE(c.result.lines.empty());
}

TEST(ListedLines, PiecesOfALongLineAreOneLineUnlessAnIncludeComesBetween) {
    std::string statement = "    Wait(1)";
    std::string long_statement = statement + std::string(299 - statement.size(), ' ') + "    Stop()\n";
    std::string long_include = "include inc.vs" + std::string(285, ' ') + "    Stop()\n";
    Collected c({{"main.vs", long_statement + long_include}, {"inc.vs", "    Say(2)\n"}});
    ASSERT_EQ(c.result.status, 0);
    const auto& lines = c.follower.lines;
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].line, 1u);
    EXPECT_EQ(lines[0].column, 1u);
    EXPECT_EQ(lines[0].code_end - lines[0].code_begin, 4);  // Wait(1) and Stop()
    EXPECT_EQ(lines[1].line, 2u);                           // include inc.vs
    EXPECT_EQ(lines[2].file, 3u);                           // inc.vs
    EXPECT_EQ(lines[3].line, 2u);
    EXPECT_EQ(lines[3].column, 300u);
    EXPECT_EQ(c.follower.bytes, c.code());
}

TEST(ListedLines, ThePieceAFullCodeAreaCutShortOwnsTheBytesItWrote) {
    std::string script = "OnStart:\n";
    for (int i = 0; i < 3000; ++i)
        script += "    Wait(1)\n";  // 3 bytes each: the code area is full in line 2732
    Collected c({{"main.vs", script}});
    ASSERT_TRUE(c.result.fatal);
    ASSERT_EQ(c.result.code.size(), static_cast<std::size_t>(vorn::CodeBufferSize));
    const auto& lines = c.follower.lines;
    EXPECT_EQ(lines.back().code_end, vorn::CodeBufferSize);
    EXPECT_EQ(lines.back().code_end - lines.back().code_begin, vorn::CodeBufferSize % 3);
    EXPECT_EQ(c.follower.bytes, c.code());
    // The error stands on that last line; the result keeps none.
    EXPECT_EQ(c.follower.line_diagnostics.back().size(), 1u);
    EXPECT_TRUE(c.result.diagnostics.empty());
}

TEST(ListedLines, ErrorsStandOnTheirLinesAndThoseOfTheListsOnNone) {
    Collected c({{"main.vs", "OnStart:\n    Wait(Nope)\n    Say(Nope)\n\n    Stop(1, 2)\n"}});
    const auto& on = c.follower.line_diagnostics;
    ASSERT_EQ(on.size(), 5u);
    EXPECT_EQ(on[0], std::vector<std::string>{});
    EXPECT_EQ(on[1], std::vector<std::string>{"Unknown argument 'Nope'"});
    EXPECT_EQ(on[2], std::vector<std::string>{"Unknown argument 'Nope'"});
    EXPECT_EQ(on[3], std::vector<std::string>{});
    EXPECT_EQ(on[4].size(), 1u);
    EXPECT_TRUE(c.follower.unplaced_diagnostics.empty());
    EXPECT_TRUE(c.result.diagnostics.empty());
    EXPECT_EQ(c.result.error_count, 3);

    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    files.serve("command.lst", Commands);
    vorn_list::SourceTexts texts{files};
    Collector without_events(texts);
    vorn::NullSink quiet;
    vorn::CompileOptions options;
    options.line_observer = &without_events;
    vorn::CompileResult r = vorn::Compiler().compile("main.vs", files, quiet, options);
    without_events.finish(r);
    EXPECT_EQ(without_events.unplaced_diagnostics.size(), 1u);
    EXPECT_TRUE(without_events.lines.empty());
    // Kept in the result too, as asked.
    EXPECT_EQ(r.diagnostics.size(), 1u);
}

TEST(OffsetAnswers, FindTheStatementThatHoldsAnOffsetAndNothingPastTheCode) {
    using Answered = Followed<vorn_list::OffsetAnswers, std::vector<uint64_t>, FILE*>;
    Answered c({{"main.vs", "OnStart:\n    Wait(1)\n\n1\n    Say(300)\n    Stop()\nOnTouch:\n"}},
               std::vector<uint64_t>{0, 2, 3, 6, 7, 8, 70000, UINT64_MAX}, stderr);
    const auto& answers = c.follower.answers();
    EXPECT_EQ(answers[0], "main.vs:2:    Wait(1)");
    EXPECT_EQ(answers[1], "main.vs:2:    Wait(1)");
    EXPECT_EQ(answers[2], "main.vs:5:    Say(300)");  // past the blank line and the place label
    EXPECT_EQ(answers[3], "main.vs:5:    Say(300)");  // Say(300) is 4 bytes
    EXPECT_EQ(answers[4], "main.vs:6:    Stop()");
    EXPECT_EQ(answers[5], std::nullopt);  // the code size: OnTouch's offset, but no statement
    EXPECT_EQ(answers[6], std::nullopt);
    EXPECT_EQ(answers[7], std::nullopt);
}

TEST(SourceTexts, LinesAsInTheFileWithoutLineEndsAndUpToTheEndOfFileMark) {
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    files.serve("a.vs", "one\r\n\ttwo ; c\\;\r\r\n\nlast\r\x1A" "after\n");
    vorn_list::SourceTexts texts(files);
    EXPECT_EQ(texts.line(2, "a.vs", 1), "one");
    EXPECT_EQ(texts.line(2, "a.vs", 2), "\ttwo ; c\\;\r");
    EXPECT_EQ(texts.line(2, "a.vs", 2), "\ttwo ; c\\;\r");  // asked again
    EXPECT_EQ(texts.line(2, "a.vs", 4), "last\r");  // no line end: the carriage return stays
    EXPECT_EQ(texts.line(2, "a.vs", 3), "");  // behind the cursor
    EXPECT_EQ(texts.line(2, "a.vs", 5), "");
    EXPECT_EQ(texts.line(3, "gone.vs", 1), "");
    // The same file under another index is read from its start again; a closed one too.
    EXPECT_EQ(texts.line(4, "a.vs", 1), "one");
    texts.close(2);
    EXPECT_EQ(texts.line(2, "a.vs", 1), "one");
}

TEST(SourceTexts, ALineLongerThanABlockIsWhole) {
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    std::string long_line(100000, 'x');
    files.serve("a.vs", "first\n" + long_line + "\nthird");
    vorn_list::SourceTexts texts(files);
    EXPECT_EQ(texts.line(2, "a.vs", 2), long_line);
    EXPECT_EQ(texts.line(2, "a.vs", 3), "third");
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
    Followed<vorn_list::Listing, FILE*> c(
        {{"main.vs", "OnStart:\ninclude inc.vs\n    Stop()\n"}, {"inc.vs", "    Wait(Nope)\n"}},
        nullptr);
    const std::string& text = c.follower.text();
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
