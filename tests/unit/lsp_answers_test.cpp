// The JSON of the server's answers where the protocol leaves fields out or wants null or an
// empty array: the client reads these shapes, so they must not drift with the records.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "lsp/protocol.h"

namespace {

using lsp::line_range;
using nlohmann::json;

TEST(LspAnswers, ACompletionItemLeavesOutTheFieldsItDoesNotSet) {
    lsp::CompletionItem plain{"Say", 3, "1 argument", lsp::TextEdit{line_range(2, 4, 5), "Say"}, false, std::nullopt};
    EXPECT_EQ(json(plain).dump(),
              R"({"detail":"1 argument","kind":3,"label":"Say","textEdit":{"newText":"Say","range":)"
              R"({"end":{"character":5,"line":2},"start":{"character":4,"line":2}}}})");
    lsp::CompletionItem snippet = plain;
    snippet.snippet = true;
    snippet.text_edit.new_text = "Say(${1:arg1})$0";
    snippet.filter_text = "Say(${1:arg1})$0";
    json out = snippet;
    EXPECT_EQ(out.at("insertTextFormat"), 2);
    EXPECT_EQ(out.at("filterText"), "Say(${1:arg1})$0");
    EXPECT_EQ(out.size(), 6u);
    // A highlight has no kind: the client takes it as text.
    EXPECT_EQ(json(lsp::DocumentHighlight{line_range(0, 1, 2)}).dump(),
              R"({"range":{"end":{"character":2,"line":0},"start":{"character":1,"line":0}}})");
}

TEST(LspAnswers, NothingFoundIsNullOrAnEmptyArrayAsTheMethodAnswers) {
    EXPECT_EQ(lsp::answer_json(std::optional<lsp::Hover>{}).dump(), "null");
    EXPECT_EQ(lsp::answer_json(std::optional<lsp::Location>{}).dump(), "null");
    EXPECT_EQ(lsp::answer_json(std::optional<lsp::Location>{lsp::Location{"file:///a.vs", line_range(0, 0, 0)}})
                  .at("uri"),
              "file:///a.vs");
    EXPECT_EQ(lsp::answer_json(std::vector<lsp::Location>{}).dump(), "[]");
    EXPECT_EQ(lsp::answer_json(std::vector<lsp::DocumentSymbol>{}).dump(), "[]");
    EXPECT_EQ(lsp::answer_json(lsp::CompletionList{}).dump(), R"({"isIncomplete":false,"items":[]})");
    EXPECT_EQ(lsp::answer_json(lsp::WorkspaceEdit{}).dump(), R"({"changes":{}})");
    // A command without arguments still lists its (no) parameters.
    lsp::SignatureHelp help{{lsp::SignatureInformation{"Stop()", "command 2 of command.lst, 0 arguments", {}, 0}}, 0, 0};
    EXPECT_EQ(lsp::answer_json(help).dump(),
              R"({"activeParameter":0,"activeSignature":0,"signatures":[{"activeParameter":0,)"
              R"j("documentation":"command 2 of command.lst, 0 arguments","label":"Stop()","parameters":[]}]})j");
}

TEST(LspAnswers, ARenamesEditsAreGroupedByUri) {
    lsp::WorkspaceEdit edit;
    edit.changes["file:///p/main.vs"].push_back(lsp::TextEdit{line_range(3, 0, 5), "Total"});
    edit.changes["file:///p/lib.vs"].push_back(lsp::TextEdit{line_range(0, 7, 12), "Total"});
    edit.changes["file:///p/main.vs"].push_back(lsp::TextEdit{line_range(4, 2, 7), "Total"});
    json out = lsp::answer_json(edit);
    ASSERT_EQ(out.at("changes").size(), 2u);
    EXPECT_EQ(out.at("changes").begin().key(), "file:///p/lib.vs");
    const json& main = out.at("changes").at("file:///p/main.vs");
    ASSERT_EQ(main.size(), 2u);
    EXPECT_EQ(main[1].at("newText"), "Total");
    EXPECT_EQ(main[1].at("range").at("start"), json({{"line", 4}, {"character", 2}}));
}

}  // namespace
