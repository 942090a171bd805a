// The grammar of a line: every kind of line, and every part's range checked against the raw
// line it was cut from (escapes, comments, line ends, long lines in pieces), and against the
// places the compiler's own diagnostics give.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <vorn/grammar.h>

namespace {

using vorn::ArgumentEnd;
using vorn::ArgumentForm;
using vorn::LineKind;
using vorn::LineParts;
using vorn::TextRange;

// A raw line parsed as one piece, kept with the parts so the ranges can be read back.
struct Parsed {
    std::string raw;
    LineParts parts;

    std::string at(TextRange range) const { return raw.substr(range.begin, range.size()); }
    std::string argument(uint32_t i) const { return at(parts.arguments[i].value); }
};

Parsed parse(const std::string& raw) { return Parsed{raw, vorn::parse_line(vorn::clean_line(raw))}; }

std::string open_quote() { return std::string(1, static_cast<char>(vorn::CleanOpenQuote)); }

TEST(ParseLine, EmptyCommentAndWhiteSpaceOnlyLinesAreBlank) {
    for (const char* raw : {"", "\n", "\r\n", "; a comment", "/ another", "   \t ", "  ; indented"}) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(parse(raw).parts.kind, LineKind::Blank);
    }
}

TEST(ParseLine, StatementPartsAreRangesOfTheRawLine) {
    Parsed p = parse("    If(&2, GreaterThan , -7)  trailing ; comment\r\n");
    EXPECT_EQ(p.parts.kind, LineKind::Statement);
    EXPECT_EQ(p.at(p.parts.first_word), "If(&2,");
    EXPECT_EQ(p.at(p.parts.command), "If");
    EXPECT_EQ(p.at(p.parts.head), "If");
    ASSERT_TRUE(p.parts.has_paren);
    EXPECT_EQ(p.at(p.parts.call), "(&2, GreaterThan , -7)  trailing ");
    ASSERT_EQ(p.parts.argument_count, 3u);
    EXPECT_EQ(p.argument(0), "&2");
    EXPECT_EQ(p.argument(1), "GreaterThan");
    EXPECT_EQ(p.at(p.parts.arguments[1].text), " GreaterThan ");
    EXPECT_EQ(p.argument(2), "-7");
    EXPECT_EQ(p.parts.arguments[0].form, ArgumentForm::EventParam);
    EXPECT_EQ(p.parts.arguments[1].form, ArgumentForm::Name);
    EXPECT_EQ(p.parts.arguments[2].form, ArgumentForm::Number);
    EXPECT_EQ(p.parts.arguments[1].end, ArgumentEnd::Comma);
    EXPECT_EQ(p.parts.arguments[2].end, ArgumentEnd::Paren);
    EXPECT_EQ(p.at(p.parts.ignored), "  trailing ");
}

TEST(ParseLine, TextBetweenTheCommandWordAndTheParenIsPartOfTheHead) {
    Parsed p = parse("\tWait junk (10)");
    EXPECT_EQ(p.at(p.parts.command), "Wait");
    EXPECT_EQ(p.at(p.parts.head), "Wait junk ");
    EXPECT_EQ(p.argument(0), "10");
}

TEST(ParseLine, StringsSplitAtCommasAndParensAsTheCompilerSplitsThem) {
    Parsed p = parse("  Say(\"a,b\", \"c)d\")");
    ASSERT_EQ(p.parts.argument_count, 3u);
    EXPECT_EQ(p.argument(0), "\"a");
    EXPECT_EQ(p.parts.arguments[0].form, ArgumentForm::String);
    EXPECT_EQ(p.argument(1), "b\"");
    EXPECT_EQ(p.parts.arguments[1].form, ArgumentForm::Name);
    // The ')' inside the second string ends the arguments.
    EXPECT_EQ(p.argument(2), "\"c");
    EXPECT_EQ(p.parts.arguments[2].end, ArgumentEnd::Paren);
    EXPECT_EQ(p.at(p.parts.ignored), "d\")");
}

TEST(ParseLine, StringsKeepCommentCharactersAndTheirQuotesBecomeMarks) {
    vorn::CleanedLine line = vorn::clean_line("  Say(\"a;b/c\") ; gone");
    LineParts cleaned = vorn::parse_cleaned(line.text);
    EXPECT_EQ(line.text.substr(cleaned.arguments[0].value.begin, cleaned.arguments[0].value.size()),
              open_quote() + "a;b/c" + std::string(1, static_cast<char>(vorn::CleanCloseQuote)));
    Parsed p = parse("  Say(\"a;b/c\") ; gone");
    EXPECT_EQ(p.argument(0), "\"a;b/c\"");
}

TEST(ParseLine, EscapedCharactersBelongToTheirPartWithTheirBackslash) {
    // Cleaned: "  Say(a;b, \"x)"; the escaped ';' starts no comment and the escaped quote
    // opens no string.
    Parsed p = parse("  Say(a\\;b, \\\"x) ; c");
    ASSERT_EQ(p.parts.argument_count, 2u);
    EXPECT_EQ(p.argument(0), "a\\;b");
    EXPECT_EQ(p.argument(1), "\\\"x");
    EXPECT_EQ(p.parts.arguments[1].form, ArgumentForm::Name);
    // Two backslashes both vanish: the word is "ab:" in the cleaned line.
    Parsed q = parse("a\\\\b: rest");
    EXPECT_EQ(q.parts.kind, LineKind::EventLabel);
    EXPECT_EQ(q.at(q.parts.name), "a\\\\b");
    // An escaped ',' is still a ',' to the splitting.
    EXPECT_EQ(parse("  Say(a\\,b)").parts.argument_count, 2u);
    Parsed r = parse("On\\Start: rest");
    EXPECT_EQ(r.parts.kind, LineKind::EventLabel);
    EXPECT_EQ(r.at(r.parts.name), "On\\Start");
}

TEST(ParseLine, ArgumentsWithoutCloseParenRunToTheLineEnd) {
    Parsed p = parse("  Wait(1, 2\r\n");
    ASSERT_EQ(p.parts.argument_count, 2u);
    EXPECT_EQ(p.argument(1), "2");
    EXPECT_EQ(p.parts.arguments[1].end, ArgumentEnd::LineEnd);
    EXPECT_TRUE(p.parts.ignored.empty());
    // An empty argument list is one empty argument, ended by ')'.
    Parsed q = parse("  Stop()");
    ASSERT_EQ(q.parts.argument_count, 1u);
    EXPECT_TRUE(q.parts.arguments[0].text.empty());
    EXPECT_EQ(q.parts.arguments[0].end, ArgumentEnd::Paren);
}

TEST(ParseLine, StatementsWithoutCommandOrParen) {
    Parsed p = parse("  (1)");
    EXPECT_EQ(p.parts.kind, LineKind::Statement);
    EXPECT_TRUE(p.parts.command.empty());
    Parsed q = parse("  Wait 10");
    EXPECT_EQ(q.at(q.parts.command), "Wait");
    EXPECT_FALSE(q.parts.has_paren);
    EXPECT_EQ(q.at(q.parts.head), "Wait 10");
    EXPECT_EQ(q.parts.argument_count, 0u);
}

TEST(ParseLine, CommandWordIsCutAs79BytesAreKept) {
    std::string word(90, 'C');
    Parsed p = parse("  " + word + "(1)");
    EXPECT_EQ(p.parts.command.size(), 79u);
    EXPECT_EQ(p.parts.first_word.size(), 93u);
}

TEST(ParseLine, PlaceLabels) {
    Parsed p = parse("12 trailing words\n");
    EXPECT_EQ(p.parts.kind, LineKind::Place);
    EXPECT_EQ(p.at(p.parts.number), "12");
    EXPECT_EQ(p.at(p.parts.ignored), " trailing words");
    Parsed q = parse("7abc");
    EXPECT_EQ(q.at(q.parts.number), "7");
    EXPECT_EQ(q.at(q.parts.first_word), "7abc");
}

TEST(ParseLine, EventLabels) {
    Parsed p = parse("OnStart: the rest is ignored");
    EXPECT_EQ(p.parts.kind, LineKind::EventLabel);
    EXPECT_EQ(p.at(p.parts.name), "OnStart");
    EXPECT_EQ(p.at(p.parts.ignored), " the rest is ignored");
    // A blank before the colon: the first word has none, so this is no label.
    EXPECT_EQ(parse("OnStart :").parts.kind, LineKind::UnknownDirective);
    // The colon is looked for at the end of the word as the compiler keeps it: 79 bytes.
    std::string long_label = std::string(78, 'E') + ":" + std::string(10, 'x');
    Parsed l = parse(long_label);
    EXPECT_EQ(l.parts.kind, LineKind::EventLabel);
    EXPECT_EQ(l.parts.name.size(), 78u);
    EXPECT_EQ(parse(std::string(80, 'E') + ":").parts.kind, LineKind::UnknownDirective);
    // Directive words with a colon are labels.
    EXPECT_EQ(parse("include:").parts.kind, LineKind::EventLabel);
}

TEST(ParseLine, Definitions) {
    Parsed p = parse("defvar  Count\t12 more ; c");
    EXPECT_EQ(p.parts.kind, LineKind::Defvar);
    EXPECT_EQ(p.at(p.parts.first_word), "defvar");
    EXPECT_EQ(p.at(p.parts.name), "Count");
    EXPECT_EQ(p.at(p.parts.number), "12");
    EXPECT_EQ(p.at(p.parts.ignored), " more ");
    Parsed n = parse("defnum Minus -1");
    EXPECT_EQ(n.parts.kind, LineKind::Defnum);
    EXPECT_EQ(n.at(n.parts.number), "-1");
    // A missing number is an empty range where it would start; "+" alone is no number.
    Parsed m = parse("defvar Count +x");
    EXPECT_TRUE(m.parts.number.empty());
    EXPECT_EQ(m.parts.number.begin, 13u);
    Parsed bare = parse("defvar");
    EXPECT_EQ(bare.parts.kind, LineKind::Defvar);
    EXPECT_TRUE(bare.parts.name.empty());
    EXPECT_TRUE(bare.parts.number.empty());
    // Directive words are exact and case-sensitive.
    EXPECT_EQ(parse("Defvar A 1").parts.kind, LineKind::UnknownDirective);
    EXPECT_EQ(parse("defvars A 1").parts.kind, LineKind::UnknownDirective);
}

TEST(ParseLine, Includes) {
    Parsed p = parse("include   lib\\/names.vs  extra\r\n");
    EXPECT_EQ(p.parts.kind, LineKind::Include);
    EXPECT_EQ(p.at(p.parts.include_name), "lib\\/names.vs");
    EXPECT_EQ(p.at(p.parts.ignored), "  extra");
    Parsed bare = parse("include ; nothing");
    EXPECT_EQ(bare.parts.kind, LineKind::Include);
    EXPECT_TRUE(bare.parts.include_name.empty());
}

TEST(ParseLine, UnknownDirectivesMarkTheirFirstWord) {
    Parsed p = parse("Go\tnow");
    EXPECT_EQ(p.parts.kind, LineKind::UnknownDirective);
    EXPECT_EQ(p.at(p.parts.first_word), "Go");
    EXPECT_EQ(p.at(p.parts.ignored), "\tnow");
}

TEST(ParseLine, TabsAreWhiteSpaceEverywhere) {
    Parsed p = parse("\tSay(\tName\t,\t1\t)");
    EXPECT_EQ(p.parts.kind, LineKind::Statement);
    EXPECT_EQ(p.argument(0), "Name");
    EXPECT_EQ(p.argument(1), "1");
    EXPECT_EQ(parse("defnum\tA\t3").parts.kind, LineKind::Defnum);
}

TEST(ParseLine, ANulOrAnEndOfFileMarkEndsTheLine) {
    Parsed p = parse(std::string("  Say(a\0b)", 10));
    ASSERT_EQ(p.parts.argument_count, 1u);
    EXPECT_EQ(p.argument(0), "a");
    EXPECT_EQ(p.parts.arguments[0].end, ArgumentEnd::LineEnd);
    // A compile reads nothing after the end-of-file mark.
    Parsed q = parse("  Say(a\x1A" "b)");
    ASSERT_EQ(q.parts.argument_count, 1u);
    EXPECT_EQ(q.argument(0), "a");
    EXPECT_EQ(q.parts.arguments[0].end, ArgumentEnd::LineEnd);
    EXPECT_EQ(parse("\x1A  Say(1)").parts.kind, LineKind::Blank);
}

TEST(ParseLine, AnEscapedLineEndStaysInTheLine) {
    // The escaped carriage return is kept (and is white space); the line feed ends the line.
    Parsed p = parse("  Wait(1)\\\r\n");
    EXPECT_EQ(p.parts.kind, LineKind::Statement);
    EXPECT_EQ(p.at(p.parts.ignored), "\\\r");
}

TEST(ParseLine, LongLinesArePiecesWithRangesOnTheWholeLine) {
    // 400 bytes: a statement whose second piece starts inside an argument.
    std::string raw = "  Say(" + std::string(290, 'a') + ", Name" + std::string(100, ' ') + ")";
    ASSERT_GT(raw.size(), 2 * vorn::MaxPieceLength - 200);
    Parsed first{raw, vorn::parse_line(vorn::clean_line(raw.substr(0, vorn::MaxPieceLength)))};
    EXPECT_EQ(first.parts.kind, LineKind::Statement);
    ASSERT_EQ(first.parts.argument_count, 2u);
    EXPECT_EQ(first.argument(0), std::string(290, 'a'));
    EXPECT_EQ(first.argument(1), "N");
    EXPECT_EQ(first.parts.arguments[1].end, ArgumentEnd::LineEnd);
    // The second piece is compiled as a line of its own: "ame   ...   )" starts with no blank.
    Parsed second{raw, vorn::parse_line(vorn::clean_line(raw.substr(vorn::MaxPieceLength)),
                                        vorn::MaxPieceLength)};
    EXPECT_EQ(second.parts.kind, LineKind::UnknownDirective);
    EXPECT_EQ(second.parts.first_word.begin, vorn::MaxPieceLength);
    EXPECT_EQ(second.at(second.parts.first_word), "ame");
}

TEST(ParseCleaned, GivesOffsetsInTheCleanedTextAndRawRangeMapsThem) {
    vorn::CleanedLine line = vorn::clean_line("  Say(x, \\;z)");
    LineParts parts = vorn::parse_cleaned(line.text);
    ASSERT_EQ(parts.argument_count, 2u);
    TextRange second = parts.arguments[1].value;
    EXPECT_EQ(line.text.substr(second.begin, second.size()), ";z");
    TextRange raw = vorn::raw_range(line, second);
    // From the backslash that escapes the ';' up to the ')'.
    EXPECT_EQ(raw.begin, 9u);
    EXPECT_EQ(raw.end, 12u);
}

TEST(ParseCleaned, ReadsNoMoreThanAPiece) {
    std::string text = "  Say(" + std::string(400, 'a') + ")";
    LineParts parts = vorn::parse_cleaned(text);
    ASSERT_EQ(parts.argument_count, 1u);
    EXPECT_EQ(parts.arguments[0].text.end, vorn::MaxPieceLength);
    // A piece of commas splits into as many arguments as it has bytes after the '('.
    std::string commas = " W(" + std::string(vorn::MaxPieceLength - 3, ',');
    EXPECT_EQ(vorn::parse_cleaned(commas).argument_count, vorn::MaxPieceLength - 2);
}

// The places the compiler reports are the ranges the grammar gives.
class AgainstCompiler : public ::testing::Test {
protected:
    std::vector<vorn::Diagnostic> compile(const std::string& script) {
        files.serve("events.lst", "OnStart 1\n");
        files.serve("command.lst", "Say 1 1\nIf 2 3\n");
        files.serve("main.vs", script);
        vorn::CompileOptions options;
        options.keep_going = true;
        return compiler.compile("main.vs", files, sink, options).diagnostics;
    }
    vorn::OverlayProvider files{"/vorn-unit-test-folder"};
    vorn::NullSink sink;
    vorn::Compiler compiler;
};

TEST_F(AgainstCompiler, DiagnosticColumnsAreTheGrammarsRanges) {
    const std::vector<std::string> lines = {
        "  If(&2, Nope\\;x , 1) ; c",  // unknown argument
        "Nowhere: x",                  // unknown event
        "defvar A\\;B 300",            // defvar out of range
        "Go on",                       // unknown directive
        "  Say(1, 2)",                 // wrong number of arguments
    };
    std::vector<TextRange> expected;
    for (const std::string& line : lines) {
        LineParts parts = vorn::parse_line(vorn::clean_line(line));
        switch (parts.kind) {
        case LineKind::Statement:
            expected.push_back(parts.argument_count == 3 ? parts.arguments[1].value : parts.call);
            break;
        case LineKind::EventLabel:
            expected.push_back(parts.name);
            break;
        case LineKind::Defvar:
            expected.push_back(parts.number);
            break;
        default:
            expected.push_back(parts.first_word);
        }
    }
    std::string script;
    for (const std::string& line : lines)
        script += line + "\n";
    std::vector<vorn::Diagnostic> diagnostics = compile(script);
    ASSERT_EQ(diagnostics.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        EXPECT_EQ(diagnostics[i].where.line, i + 1);
        EXPECT_EQ(diagnostics[i].where.column, expected[i].begin + 1);
        EXPECT_EQ(diagnostics[i].where.end_column, expected[i].end + 1);
    }
}

// A number argument reads as the value the compile encodes for it: each statement's code is
// its command byte, then the number's tag and bytes, low byte first.
TEST_F(AgainstCompiler, ArgumentNumberIsWhatTheCompileEncodes) {
    const std::vector<std::string> texts = {"0x10", "-", "-0", "007", "12abc", "120", "121", "-32761",
                                            "2147483647", "-2147483648", "5 6"};
    std::string script = "OnStart:\n";
    for (const std::string& text : texts)
        script += "  Say(" + text + ")\n";
    files.serve("events.lst", "OnStart 1\n");
    files.serve("command.lst", "Say 1 1\n");
    files.serve("main.vs", script);
    vorn::CompileOptions options;
    vorn::CompileResult result = compiler.compile("main.vs", files, sink, options);
    ASSERT_TRUE(result.diagnostics.empty());
    std::size_t at = 0;
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        std::optional<int32_t> value = vorn::argument_number(text);
        ASSERT_TRUE(value.has_value());
        vorn::ArgumentTag tag = vorn::number_tag(*value);
        int bytes = vorn::ArgumentValueBytes[tag];
        ASSERT_LE(at + 2 + bytes, result.code.size());
        EXPECT_EQ(result.code[at + 1], tag);
        uint32_t encoded = 0;
        for (int i = 0; i < bytes; ++i)
            encoded |= static_cast<uint32_t>(result.code[at + 2 + i]) << (8 * i);
        uint32_t mask = bytes == 4 ? UINT32_MAX : (1u << (8 * bytes)) - 1;
        EXPECT_EQ(encoded, static_cast<uint32_t>(*value) & mask);
        at += 2 + bytes;
    }
    EXPECT_EQ(at, result.code.size());
    EXPECT_EQ(*vorn::argument_number("0x10"), 0);
    EXPECT_EQ(*vorn::argument_number("-"), 0);
    EXPECT_EQ(*vorn::argument_number("12abc"), 12);
    // Past 32 bits the compile reports the number, and nothing is read.
    EXPECT_FALSE(vorn::argument_number("2147483648").has_value());
    EXPECT_FALSE(vorn::argument_number("-99999999999").has_value());
}

}  // namespace
