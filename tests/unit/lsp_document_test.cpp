// The language server's documents as the client edits them, the params read from its messages,
// and what the inbox notes of a waiting message.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "lsp/document_store.h"
#include "lsp/inbox.h"
#include "lsp/params.h"

namespace {

using lsp::Encoding;
using nlohmann::json;

// "é" is two bytes and one UTF-16 unit; "😀" four bytes and two units.
const std::string Wide = "a\xC3\xA9\xF0\x9F\x98\x80z";

lsp::DidChangeParams edit(const json& changes, std::optional<int64_t> version = std::nullopt) {
    json params = {{"textDocument", {{"uri", "file:///p/a.vs"}}}, {"contentChanges", changes}};
    if (version)
        params["textDocument"]["version"] = *version;
    return params.get<lsp::DidChangeParams>();
}

json range_change(uint32_t line, uint32_t start, uint32_t end, const std::string& text) {
    json range = {{"start", {{"line", line}, {"character", start}}}, {"end", {{"line", line}, {"character", end}}}};
    return {{"range", range}, {"text", text}};
}

TEST(LspDocuments, OpenChangeAndCloseKeepTextAndVersions) {
    lsp::DocumentStore store;
    lsp::Document& opened = store.open({"file:///p/./sub/../a.vs", 3, "x\n" + Wide + "\n"});
    EXPECT_EQ(opened.path, "/p/a.vs");
    EXPECT_TRUE(opened.dirty);
    EXPECT_FALSE(opened.list);
    opened.dirty = false;

    // UTF-16: after "a", "é" and the emoji is character 4.
    lsp::DidChangeParams change = edit(json::array({range_change(1, 4, 4, "!")}), 4);
    change.uri = "file:///p/./sub/../a.vs";
    lsp::Document* changed = store.change(change, Encoding::Utf16);
    ASSERT_NE(changed, nullptr);
    EXPECT_EQ(changed->text.bytes(), "x\na\xC3\xA9\xF0\x9F\x98\x80!z\n");
    EXPECT_EQ(changed->version, 4);
    EXPECT_TRUE(changed->dirty);

    // No version: the old one stays. Changes apply in order, each to the text the one before left.
    change = edit(json::array({range_change(0, 0, 1, "yy"), {{"text", "whole\n"}}, range_change(0, 5, 5, "!")}));
    change.uri = "file:///p/./sub/../a.vs";
    changed = store.change(change, Encoding::Utf16);
    EXPECT_EQ(changed->text.bytes(), "whole!\n");
    EXPECT_EQ(changed->version, 4);

    EXPECT_EQ(store.find_path("/p/a.vs"), changed);
    EXPECT_EQ(store.change(edit(json::array({{{"text", ""}}})), Encoding::Utf16), nullptr);  // not open
    EXPECT_TRUE(store.close("file:///p/./sub/../a.vs"));
    EXPECT_FALSE(store.close("file:///p/./sub/../a.vs"));
    EXPECT_EQ(store.find_path("/p/a.vs"), nullptr);
}

TEST(LspDocuments, EditsCountCharactersInTheNegotiatedEncoding) {
    std::vector<lsp::ContentChange> at3 = edit(json::array({range_change(0, 3, 7, "-")})).changes;
    // UTF-8: bytes 3 to 7 are the emoji. UTF-16: characters 3 to 7 run from inside the emoji
    // (its start) to past the end.
    EXPECT_EQ(lsp::apply_changes(Wide, at3, Encoding::Utf8), "a\xC3\xA9-z");
    EXPECT_EQ(lsp::apply_changes(Wide, at3, Encoding::Utf16), "a\xC3\xA9-");
}

TEST(LspDocuments, TheListsAreKnownByName) {
    lsp::DocumentStore store;
    EXPECT_TRUE(store.open({"file:///p/events.lst", 1, ""}).list);
    EXPECT_TRUE(store.open({"file:///p/q/command.lst", 1, ""}).list);
    EXPECT_FALSE(store.open({"file:///p/events.lst.vs", 1, ""}).list);
    EXPECT_EQ(store.open({"untitled:one", 1, ""}).path, "");
}

TEST(LspParams, RequestsReadAsRecords) {
    json at = {{"textDocument", {{"uri", "file:///a.vs"}}}, {"position", {{"line", 2}, {"character", 5}}}};
    auto references = json(at).get<lsp::ReferenceParams>();
    EXPECT_EQ(references.uri, "file:///a.vs");
    EXPECT_EQ(references.position.line, 2u);
    EXPECT_EQ(references.position.character, 5u);
    EXPECT_TRUE(references.include_declaration);
    at["context"] = {{"includeDeclaration", false}};
    EXPECT_FALSE(at.get<lsp::ReferenceParams>().include_declaration);
    at["newName"] = "Speed";
    EXPECT_EQ(at.get<lsp::RenameParams>().new_name, "Speed");
    // Far past any text is clamped rather than refused.
    at["position"]["line"] = 99999999999ull;
    EXPECT_EQ(at.get<lsp::TextDocumentPositionParams>().position.line, UINT32_MAX);

    auto files = json::parse(R"({"changes":[{"uri":"file:///a.vs","type":1},{"uri":"file:///b.vs"}]})")
                     .get<lsp::DidChangeWatchedFilesParams>();
    ASSERT_EQ(files.changes.size(), 2u);
    EXPECT_EQ(files.changes[0].type, lsp::FileEvent::Created);
    EXPECT_EQ(files.changes[1].uri, "file:///b.vs");
    EXPECT_EQ(files.changes[1].type, lsp::FileEvent::Changed);

    auto open = json{{"textDocument", {{"uri", "file:///a.vs"}, {"text", "x"}}}}.get<lsp::DidOpenParams>();
    EXPECT_EQ(open.version, 0);
    EXPECT_EQ(open.text, "x");
}

TEST(LspParams, WhatIsNotOfTheProtocolsShapeIsRefused) {
    json at = {{"textDocument", {{"uri", "file:///a.vs"}}}, {"position", {{"line", -1}, {"character", 0}}}};
    EXPECT_THROW(at.get<lsp::TextDocumentPositionParams>(), lsp::BadParams);
    at["position"] = {{"line", 1.5}, {"character", 0}};
    EXPECT_THROW(at.get<lsp::TextDocumentPositionParams>(), lsp::BadParams);
    EXPECT_THROW(json({{"textDocument", 5}}).get<lsp::DocumentParams>(), json::exception);
    EXPECT_THROW(json::object().get<lsp::RenameParams>(), json::exception);
    json change = {{"textDocument", {{"uri", "file:///a.vs"}}}, {"contentChanges", "x"}};
    EXPECT_THROW(change.get<lsp::DidChangeParams>(), lsp::BadParams);
    change["contentChanges"] = json::array({range_change(0, 0, 0, "a"), {{"range", {{"start", 1}}}, {"text", ""}}});
    EXPECT_ANY_THROW(change.get<lsp::DidChangeParams>());
}

TEST(LspInbox, ChangesToDocumentsAreNotedByPath) {
    auto message = [](const std::string& method, const json& document) {
        return json{{"jsonrpc", "2.0"}, {"method", method}, {"params", {{"textDocument", document}}}};
    };
    json document = {{"uri", "file:///p/sub/../a.vs"}};
    EXPECT_EQ(lsp::changed_document(message("textDocument/didChange", document)), "/p/a.vs");
    EXPECT_EQ(lsp::changed_document(message("textDocument/didOpen", document)), "/p/a.vs");
    EXPECT_EQ(lsp::changed_document(message("textDocument/didClose", document)), "/p/a.vs");
    // Saving or asking changes no text; a URI that is not a file's has no path.
    EXPECT_EQ(lsp::changed_document(message("textDocument/didSave", document)), "");
    EXPECT_EQ(lsp::changed_document(message("textDocument/hover", document)), "");
    EXPECT_EQ(lsp::changed_document(message("textDocument/didChange", {{"uri", "untitled:1"}})), "");
    EXPECT_EQ(lsp::changed_document(message("textDocument/didChange", {{"uri", 7}})), "");
    EXPECT_EQ(lsp::changed_document(json::array()), "");
}

TEST(LspInbox, WaitingChangesAndCancelsAreSeenBeforeTheyAreTaken) {
    int in[2];
    int out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    lsp::Transport transport(in[0], out[1]);
    lsp::Inbox inbox(transport);
    std::string frames;
    for (const json& message :
         {json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "textDocument/hover"}, {"params", json::object()}},
          json{{"jsonrpc", "2.0"}, {"method", "textDocument/didChange"},
               {"params", {{"textDocument", {{"uri", "file:///p/a.vs"}}}, {"contentChanges", json::array()}}}},
          json{{"jsonrpc", "2.0"}, {"method", "$/cancelRequest"}, {"params", {{"id", 1}}}}}) {
        std::string body = message.dump();
        frames += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    ASSERT_EQ(write(in[1], frames.data(), frames.size()), static_cast<ssize_t>(frames.size()));
    // The reader queues all three; the last one read is the cancel.
    for (int tries = 0; !inbox.cancelled(1) && tries < 500; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto in_p = [](const std::string& path) { return path.rfind("/p/", 0) == 0; };
    auto in_q = [](const std::string& path) { return path.rfind("/q/", 0) == 0; };
    ASSERT_TRUE(inbox.cancelled(1));
    EXPECT_FALSE(inbox.cancelled(2));
    EXPECT_TRUE(inbox.document_change_waiting(in_p));
    EXPECT_FALSE(inbox.document_change_waiting(in_q));

    EXPECT_EQ(inbox.take().message["id"], 1);
    EXPECT_TRUE(inbox.cancelled(1));
    EXPECT_EQ(inbox.take().message["method"], "textDocument/didChange");
    EXPECT_FALSE(inbox.document_change_waiting(in_p));
    EXPECT_EQ(inbox.take().message["method"], "$/cancelRequest");
    inbox.forget_cancel(1);
    EXPECT_FALSE(inbox.cancelled(1));
    EXPECT_FALSE(inbox.waiting());

    close(in[1]);
    EXPECT_EQ(inbox.take().status, lsp::Read::End);
    EXPECT_EQ(inbox.take().status, lsp::Read::End);
    close(in[0]);
    close(out[0]);
    close(out[1]);
}

}  // namespace
