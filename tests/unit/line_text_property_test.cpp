// The line module's two directions over generated lines: what is spelled (a name, a number, a
// string, an include path, a list entry) reads back as the same value, wherever the line
// stands among pieces of a longer line, whatever comment and line end follow; the compile
// agrees (a spelled string compiles to its bytes, a list entry's command is found); and what
// the formatter and the safe fixes write compiles to the same code.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <vorn/format.h>
#include <vorn/line_text.h>
#include <vorn/vorn.h>

namespace {

// Rounds of generated lines; a failure names its seed.
constexpr int Rounds = 1500;

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool chance(int percent) { return number(0, 99) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& from) { return from[static_cast<std::size_t>(number(0, static_cast<int>(from.size()) - 1))]; }

    // A byte, mostly one that means something to a line: ';', '/', quotes, ',', ')', '(',
    // blanks, CR, NUL, the end-of-file mark, ':' and bytes from 0x80 (the cleaner's own
    // quote marks among them).
    char byte() {
        static const std::string special = std::string(";/\"\\,)(: \t\r:&-", 15) + std::string(1, '\0') +
                                           std::string(1, static_cast<char>(vorn::EndOfFileMark));
        switch (number(0, 3)) {
        case 0:
            return special[static_cast<std::size_t>(number(0, static_cast<int>(special.size()) - 1))];
        case 1:
            return static_cast<char>(number(0x80, 0xFF));
        default:
            return pick(std::vector<char>{'a', 'Z', 'q', '0', '7', '_', '.', 'x'});
        }
    }
    template <typename Keep>
    std::string text(int longest, Keep keep) {
        std::string out;
        int length = number(0, longest);
        while (static_cast<int>(out.size()) < length) {
            char c = byte();
            if (keep(static_cast<unsigned char>(c)))
                out += c;
        }
        return out;
    }
    // A name that a line can hold: starts with a letter, no byte that no escape can write.
    std::string word(int longest) {
        std::string out(1, pick(std::vector<char>{'a', 'B', 'v', 'Q'}));
        out += text(longest - 1, [](unsigned char c) { return vorn::word_spellable(std::string(1, static_cast<char>(c))); });
        return out;
    }
    // What may follow the code: nothing, blanks, or a comment; then a line end.
    std::string tail(bool* comment) {
        std::string out = chance(50) ? std::string(static_cast<std::size_t>(number(1, 3)), chance(50) ? ' ' : '\t') : "";
        *comment = chance(60);
        if (*comment)
            out += (chance(50) ? ";" : "/") + text(20, [](unsigned char c) { return c != '\n' && c != 0 && c != vorn::EndOfFileMark; });
        return out;
    }
    std::string line_end() { return pick(std::vector<std::string>{"", "\n", "\r\n"}); }
    // Whole pieces of a long line before the one under test: a comment of exactly one piece.
    std::string pieces_before() {
        std::string out;
        for (int k = number(0, 2); k > 0; --k)
            out += ";" + std::string(vorn::MaxPieceLength - 1, pick(std::vector<char>{'x', '"', ' ', ';'}));
        return out;
    }

private:
    std::mt19937 rng_;
};

// The piece of line that starts at column, checked to be where read_line puts it.
vorn::LinePiece piece_from(const std::string& line, std::size_t column) {
    std::vector<vorn::LinePiece> pieces = vorn::read_line(line);
    std::size_t covered = 0;
    for (const vorn::LinePiece& piece : pieces) {
        EXPECT_EQ(piece.column, covered);
        covered += piece.size;
    }
    EXPECT_EQ(covered, line.size());
    for (vorn::LinePiece& piece : pieces)
        if (piece.column == column)
            return std::move(piece);
    ADD_FAILURE() << "no piece at " << column;
    return vorn::read_piece(line, column);
}

std::string marked(std::string_view value) {
    return std::string(1, static_cast<char>(vorn::CleanOpenQuote)) + std::string(value) +
           std::string(1, static_cast<char>(vorn::CleanCloseQuote));
}

vorn::CompileResult compile(const std::string& script, const std::string& commands,
                            const vorn::WarningSet& warnings = {}) {
    vorn::OverlayProvider files("/vorn-line-text-test");
    files.serve("events.lst", "OnStart 1\n");
    files.serve("command.lst", commands);
    files.serve("main.vs", script);
    vorn::NullSink sink;
    vorn::Compiler compiler;
    vorn::CompileOptions options;
    options.warnings = warnings;
    return compiler.compile("main.vs", files, sink, options);
}

const std::string Commands = "Say 1 1\nWait 2 1\nStop 3 0\n";

TEST(LineTextProperty, WhatIsSpelledReadsBackAndCompilesAsMeant) {
    for (uint32_t seed = 1; seed <= Rounds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator g(seed);
        std::string before = g.pieces_before();
        bool comment = false;
        std::string tail = g.tail(&comment);
        std::string end = g.line_end();

        // A definition: its name and number read back, its comment is seen as one.
        std::string name = g.word(30);
        int32_t value = g.number(INT32_MIN, INT32_MAX);
        std::string code = "defvar " + vorn::spell_word(name) + " " + vorn::spell_number(value);
        std::string line = before + code + tail + end;
        if (code.size() + tail.size() + end.size() <= vorn::MaxPieceLength) {
            vorn::LinePiece piece = piece_from(line, before.size());
            ASSERT_EQ(piece.parts.kind, vorn::LineKind::Defvar) << line;
            EXPECT_EQ(piece.text(piece.parts.name), name);
            std::optional<vorn::LeadingNumber> read = vorn::leading_number(piece.text(piece.parts.number));
            ASSERT_TRUE(read);
            EXPECT_EQ(read->value, value);
            EXPECT_EQ(piece.comment(), comment);
            EXPECT_TRUE(piece.strings.empty());
            vorn::TextRange raw = piece.raw(piece.parts.name);
            EXPECT_EQ(line.substr(raw.begin, raw.size()), vorn::spell_word(name));
        }

        // An include path, and a command word.
        std::string path = g.word(static_cast<int>(vorn::MaxFirstWordLength));
        vorn::LinePiece include = vorn::read_piece("include  " + vorn::spell_word(path) + tail + end);
        ASSERT_EQ(include.parts.kind, vorn::LineKind::Include);
        EXPECT_EQ(include.text(include.parts.include_name), path);
        std::string command = g.word(static_cast<int>(vorn::MaxFirstWordLength));
        command.erase(std::remove(command.begin(), command.end(), '('), command.end());
        vorn::LinePiece statement = vorn::read_piece("    " + vorn::spell_word(command) + "()" + tail);
        EXPECT_EQ(statement.text(statement.parts.command), command);

        // A string argument: one string, closed and not cut, whose text is the value; a ','
        // inside cuts it there. The compile stores its bytes.
        std::string text = g.text(40, vorn::string_byte_writable);
        code = "    Say(" + vorn::spell_string(text) + ")";
        line = before + code + tail + end;
        vorn::LinePiece say = piece_from(line, before.size());
        ASSERT_EQ(say.parts.argument_count, 1u) << line;
        EXPECT_EQ(say.parts.arguments[0].form, vorn::ArgumentForm::String);
        EXPECT_EQ(say.text(say.parts.arguments[0].value), marked(text));
        ASSERT_EQ(say.strings.size(), 1u);
        EXPECT_TRUE(say.strings[0].closed);
        EXPECT_FALSE(say.strings[0].is_cut());
        EXPECT_EQ(say.comment(), comment);
        std::size_t inside = before.size() + 9;  // the first byte after the opening quote
        EXPECT_TRUE(vorn::in_string(line, inside));
        EXPECT_FALSE(vorn::in_string(line, before.size() + 4));
        std::size_t at = static_cast<std::size_t>(g.number(0, static_cast<int>(text.size())));
        vorn::LinePiece cut = vorn::read_piece("    Say(" + vorn::spell_string(text.substr(0, at) + "," + text.substr(at)) + ")");
        ASSERT_EQ(cut.strings.size(), 1u);
        EXPECT_TRUE(cut.strings[0].is_cut());
        EXPECT_EQ(cut.clean.text[cut.strings[0].cut], ',');
        if (before.empty() && text.size() <= vorn::MaxStringLength) {
            vorn::CompileResult result = compile(code + tail + end, Commands);
            ASSERT_EQ(result.error_count, 0) << code;
            std::vector<unsigned char> bytes(text.begin(), text.end());
            EXPECT_NE(std::search(result.code.begin(), result.code.end(), bytes.begin(), bytes.end()),
                      result.code.end());
        }

        // A number argument reads back as its value.
        int32_t wait = g.number(INT32_MIN, INT32_MAX);
        vorn::LinePiece number = vorn::read_piece("    Wait( " + vorn::spell_number(wait) + " )" + tail);
        EXPECT_EQ(number.parts.arguments[0].form, vorn::ArgumentForm::Number);
        EXPECT_EQ(vorn::argument_number(number.text(number.parts.arguments[0].value)), wait);
        // Past 32 bits a number reads as none, in a line and in a list entry alike.
        int64_t wide = (g.chance(50) ? -1 : 1) * (INT64_C(2147483649) + g.number(0, INT32_MAX));
        EXPECT_FALSE(vorn::leading_number(vorn::spell_number(wide) + "x"));
        EXPECT_FALSE(vorn::read_list_entry("Cmd 1 " + vorn::spell_number(wide), 2));

        // A command.lst entry reads back, and the compile finds its command by the spelled name.
        std::string listed = g.word(static_cast<int>(vorn::NameSize) - 1);
        unsigned code_number = static_cast<unsigned>(g.number(1, 65535));
        std::size_t count = static_cast<std::size_t>(g.number(0, vorn::MaxArguments));
        std::string entry = vorn::spell_command_entry(listed, code_number, count);
        bool plain = std::none_of(listed.begin(), listed.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
        ASSERT_EQ(entry.empty(), !plain) << listed;
        if (entry.empty())
            continue;
        std::optional<vorn::ListEntryLine> read = vorn::read_list_entry(entry, 2);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->name, listed);
        EXPECT_EQ(read->numbers[0], static_cast<int32_t>(code_number));
        EXPECT_EQ(read->numbers[1], static_cast<int32_t>(count));
        EXPECT_EQ(vorn::list_entry_name(entry + end), listed);
        if (listed.find('(') == std::string::npos) {
            vorn::CompileResult result = compile("    " + vorn::spell_word(listed) + "()\n", Commands + entry + "\n");
            EXPECT_GE(result.lists.find_command(listed.c_str()), 0);
            EXPECT_NE(result.diagnostics.empty() ? vorn::DiagnosticKind::CannotOpenFile : result.diagnostics[0].kind,
                      vorn::DiagnosticKind::UnknownCommand);
        }
    }
}

// The formatter keeps the code; the safe fixes of the warnings give the code of the script
// as its writer meant it, which the generator writes alongside: a statement written after a
// label or after another statement's ')' on a line of its own.
TEST(LineTextProperty, WhatTheFormatterAndTheSafeFixesWriteCompilesToWhatTheyClaim) {
    for (uint32_t seed = 1; seed <= Rounds / 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator g(seed);
        std::string head = "defvar " + vorn::spell_word(g.word(20)) + "  " + vorn::spell_number(g.number(0, 200)) + "\n";
        std::string script = head + "OnStart:\n";
        std::string meant = script;
        int place = 0;
        for (int i = g.number(1, 8); i > 0; --i) {
            bool comment = false;
            std::string tail = g.tail(&comment);
            std::string end = g.chance(30) ? "\r\n" : "\n";
            // A statement that its writer put on the same line as the one before.
            std::string after = g.chance(40) ? "Stop()" : "";
            std::string own_line = after.empty() ? "" : "\n    " + after;
            std::string first;
            switch (g.number(0, 3)) {
            case 0:
                place += g.number(1, 9);
                first = std::to_string(place);
                break;
            case 1:
                first = "\t Say(  " + vorn::spell_string(g.text(20, vorn::string_byte_writable)) + " )";
                break;
            case 2:
                first = "    Wait(" + std::string(g.chance(50) ? "0x1F" : "12abc") + ")";
                after.clear();
                own_line.clear();
                break;
            default:
                first = "";
                after.clear();
                own_line.clear();
                break;
            }
            script += first + (after.empty() ? "" : "  " + after) + tail + end;
            meant += first + own_line + tail + end;
        }
        vorn::CompileResult original = compile(script, Commands, vorn::WarningSet::all());
        ASSERT_EQ(original.error_count, 0) << script;
        vorn::FormatOptions options;
        std::string formatted = vorn::format_text(script, options);
        vorn::CompileResult after = compile(formatted, Commands);
        EXPECT_EQ(after.error_count, 0) << formatted;
        EXPECT_EQ(after.code, original.code) << script << "---\n" << formatted;

        std::vector<const vorn::Fix*> safe;
        for (const vorn::Diagnostic& d : original.diagnostics)
            for (const vorn::Fix& fix : d.fixes)
                if (fix.safe)
                    safe.push_back(&fix);
        vorn::FixedText fixed = vorn::apply_fixes(script, "main.vs", safe);
        vorn::CompileResult mended = compile(fixed.text, Commands);
        EXPECT_EQ(mended.error_count, 0) << fixed.text;
        EXPECT_EQ(mended.code, compile(meant, Commands).code) << script << "---\n" << fixed.text;
    }
}

}  // namespace

namespace {

// main.vs's diagnostics, written out whole but for the running line number (vorn's own).
std::string main_diagnostics(const vorn::CompileResult& result) {
    std::string out;
    auto at = [](const vorn::Location& l) {
        return l.file + ":" + std::to_string(l.line) + ":" + std::to_string(l.column) + "-" + std::to_string(l.end_column);
    };
    for (const vorn::Diagnostic& d : result.diagnostics) {
        if (d.where.file != "main.vs")
            continue;
        out += std::to_string(static_cast<int>(d.kind)) + " " + std::to_string(static_cast<int>(d.severity)) + " " +
               at(d.where) + " " + d.text + "\n";
        for (const vorn::DiagnosticNote& n : d.notes)
            out += "  note " + at(n.where) + " " + n.text + "\n";
        for (const vorn::Fix& f : d.fixes) {
            out += "  fix " + f.description + (f.safe ? " safe" : "") + "\n";
            for (const vorn::Edit& e : f.edits)
                out += "    " + at(e.range) + " '" + e.new_text + "'\n";
        }
    }
    return out;
}

}  // namespace

// The warnings look at each line in the parts the compile parsed it into, and an include's
// lines are parsed after the include line's: what main.vs reports must not depend on what
// the file it includes says (here: as many lines, each compiling to the same code and
// defining nothing).
TEST(LineTextProperty, WhatALineReportsDoesNotDependOnTheLinesOfTheFileItIncludes) {
    int warnings = 0;
    int includes = 0;
    for (uint32_t seed = 1; seed <= Rounds / 5; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator g(seed);
        auto any = [](unsigned char c) { return c != '\n' && c != vorn::EndOfFileMark; };
        std::string script;
        for (int i = g.number(1, 12); i > 0; --i) {
            std::string line = g.chance(15) ? g.pieces_before() : "";
            bool comment = false;
            switch (g.number(0, 4)) {
            case 0:
                line += "include lib.vs" + g.pick(std::vector<std::string>{"", "  x(1)", "\t\"a,b\")", " junk"});
                ++includes;
                break;
            case 1:
                line += "    Say(" + g.text(30, any) + ")" + (g.chance(40) ? "  Stop()" : "");
                break;
            case 2:
                line += g.chance(50) ? "OnStart:" + g.text(10, any) : std::to_string(g.number(0, 70000)) + g.text(10, any);
                break;
            case 3:
                line += (g.chance(50) ? "defvar " : "defnum ") + vorn::spell_word(g.word(12)) + " " +
                        std::to_string(g.number(-70000, 70000)) + g.text(6, any);
                break;
            default:
                line += (g.chance(50) ? " " : "") + g.text(60, any);
                break;
            }
            script += line + g.tail(&comment) + (g.chance(30) ? "\r\n" : "\n");
        }
        // Both compile to one Stop() a line (an event label's emptiness may depend on that);
        // busy's lines have warnings of their own, and its last line every part a statement
        // can have.
        std::string quiet, busy;
        for (int i = g.number(1, 6); i > 0; --i) {
            quiet += "    Stop()\n";
            busy += "    Stop()  " + g.text(20, any) + "\n";
        }
        quiet += "    Stop()\n";
        busy += "    Wait  x(12abc)  Stop()\n";
        std::string reports[2];
        for (int k = 0; k < 2; ++k) {
            vorn::OverlayProvider files("/vorn-line-text-test");
            files.serve("events.lst", "OnStart 1\n");
            files.serve("command.lst", Commands);
            files.serve("main.vs", script);
            files.serve("lib.vs", k ? busy : quiet);
            vorn::NullSink sink;
            vorn::Compiler compiler;
            vorn::CompileOptions options;
            options.warnings = vorn::WarningSet::all();
            options.keep_going = true;
            options.explain = true;
            vorn::CompileResult result = compiler.compile("main.vs", files, sink, options);
            reports[k] = main_diagnostics(result);
            for (const vorn::Diagnostic& d : result.diagnostics)
                warnings += k == 0 && d.where.file == "main.vs" && d.severity == vorn::Severity::Warning;
        }
        EXPECT_EQ(reports[0], reports[1]) << script << "--- lib.vs:\n" << busy;
    }
    // Not an empty claim: the scripts have includes and warnings enough.
    EXPECT_GT(includes, Rounds / 5);
    EXPECT_GT(warnings, Rounds / 5);
}
