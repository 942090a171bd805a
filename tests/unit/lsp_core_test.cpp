// The language server's features through its core, in-process: messages in, messages out,
// with no process, pipe or thread. The project is a folder on disk (the projects walk it);
// documents are served by the messages.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <vorn/format.h>

#include "lsp/core.h"
#include "../../fuzz/lsp_session.h"

namespace {

using nlohmann::json;

constexpr int ServerNotInitialized = -32002, InvalidRequest = -32600, RequestCancelled = -32800;

// Counts what is opened through it, and reads the disk.
class CountingProvider : public vorn::FileSystemProvider {
public:
    std::unique_ptr<vorn::InputFile> open(const std::string& path) override {
        opened.insert(path);
        return FileSystemProvider::open(path);
    }
    std::set<std::string> opened;
};

class Client {
public:
    explicit Client(vorn::SourceProvider& files) : core(files) {}

    // Sends a request; its one answer (the whole message). Notifications sent on the way are kept.
    json request(const std::string& method, json params, const std::function<bool()>& stop = {}) {
        json id = ++last_id;
        json message = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
        json answer;
        int answers = 0;
        for (json& out : take(core.handle(message, false, stop))) {
            if (out.contains("id") && !out.contains("method")) {
                EXPECT_EQ(out["id"], id);
                answer = std::move(out);
                ++answers;
            }
        }
        EXPECT_EQ(answers, 1) << method;
        return answer;
    }
    json result(const std::string& method, json params) {
        json answer = request(method, std::move(params));
        EXPECT_TRUE(answer.contains("result")) << answer.dump();
        return answer.value("result", json());
    }
    void notify(const std::string& method, json params) {
        json message = {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
        for (const json& out : take(core.handle(message.dump())))
            EXPECT_FALSE(out.contains("id") && !out.contains("method")) << out.dump();
    }
    // Runs the deferred work to its end.
    void settle() {
        for (int i = 0; i < 4 && core.has_work(); ++i)
            take(core.step([] { return false; }));
        EXPECT_FALSE(core.has_work());
    }
    void initialize(const std::string& folder) {
        json answer = result("initialize", {{"rootUri", "file://" + folder}, {"capabilities", json::object()}});
        capabilities = answer.at("capabilities");
        notify("initialized", json::object());
    }
    void open(const std::string& uri, const std::string& text, int version = 1) {
        notify("textDocument/didOpen",
               {{"textDocument", {{"uri", uri}, {"languageId", "vorn"}, {"version", version}, {"text", text}}}});
        settle();
    }
    void change(const std::string& uri, const std::string& text, int version) {
        notify("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", version}}},
                                          {"contentChanges", json::array({{{"text", text}}})}});
    }

    std::vector<json> take(const std::vector<std::string>& out) {
        std::vector<json> messages;
        for (const std::string& text : out) {
            json message = json::parse(text);
            if (message.value("method", "") == "textDocument/publishDiagnostics")
                published[message["params"]["uri"]].push_back(message["params"]);
            messages.push_back(std::move(message));
        }
        return messages;
    }

    lsp::Core core;
    int last_id = 0;
    json capabilities;
    // Every publishDiagnostics by URI, in order.
    std::map<std::string, std::vector<json>> published;
};

json at(const std::string& uri, int line, int character) {
    return {{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}};
}

class LspCore : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vorn-core-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        lsp_fuzz::write_project(folder);
        files.open_regular_files_only();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string uri(const std::string& name) const { return "file://" + folder + "/" + name; }
    std::string text(const std::string& name) const {
        for (const auto& [file, content] : lsp_fuzz::ProjectFiles)
            if (name == file)
                return content;
        return {};
    }

    std::string folder;
    CountingProvider files;
};

TEST_F(LspCore, TheLifecycleGoesInitializeShutdownExit) {
    Client client(files);
    EXPECT_EQ(client.request("textDocument/hover", at(uri("main.vs"), 0, 0))["error"]["code"], ServerNotInitialized);
    client.initialize(folder);
    // Every method of the table announces itself.
    for (const char* provider : {"completionProvider", "hoverProvider", "definitionProvider", "referencesProvider",
                                 "renameProvider", "codeActionProvider", "semanticTokensProvider",
                                 "documentFormattingProvider", "foldingRangeProvider", "inlayHintProvider",
                                 "selectionRangeProvider", "workspaceSymbolProvider"})
        EXPECT_TRUE(client.capabilities.contains(provider)) << provider;
    EXPECT_EQ(client.request("initialize", json::object())["error"]["code"], InvalidRequest);
    EXPECT_TRUE(client.result("shutdown", nullptr).is_null());
    EXPECT_EQ(client.request("textDocument/hover", at(uri("main.vs"), 0, 0))["error"]["code"], InvalidRequest);
    EXPECT_FALSE(client.core.exit_status());
    client.notify("exit", nullptr);
    EXPECT_EQ(client.core.exit_status(), 0);

    Client abrupt(files);
    abrupt.initialize(folder);
    abrupt.notify("exit", nullptr);
    EXPECT_EQ(abrupt.core.exit_status(), 1);
}

TEST_F(LspCore, DiagnosticsComeWithTheDeferredWorkAndGoWhenFixed) {
    Client client(files);
    client.initialize(folder);
    std::string main = uri("main.vs");
    client.notify("textDocument/didOpen", {{"textDocument", {{"uri", main}, {"languageId", "vorn"}, {"version", 1},
                                                            {"text", text("main.vs") + "    Jump(1)\n"}}}});
    // Nothing is compiled while messages are handled; the step publishes.
    EXPECT_TRUE(client.published.empty());
    EXPECT_TRUE(client.core.has_work());
    client.settle();
    ASSERT_EQ(client.published[main].size(), 1u);
    const json& shown = client.published[main].back();
    EXPECT_EQ(shown["version"], 1);
    ASSERT_EQ(shown["diagnostics"].size(), 1u);
    EXPECT_EQ(shown["diagnostics"][0]["range"]["start"]["line"], 5);
    EXPECT_EQ(shown["diagnostics"][0]["severity"], 1);

    client.change(main, text("main.vs"), 2);
    client.settle();
    ASSERT_EQ(client.published[main].size(), 2u);
    EXPECT_EQ(client.published[main].back()["version"], 2);
    EXPECT_TRUE(client.published[main].back()["diagnostics"].empty());
}

TEST_F(LspCore, AStoppedStepPublishesNothingAndIsDoneAgainWithTheNewestText) {
    Client client(files);
    client.initialize(folder);
    std::string main = uri("main.vs");
    client.open(main, text("main.vs"));
    client.published.clear();
    // Long enough for the compile to ask whether to stop.
    std::string long_text = text("main.vs");
    for (int i = 0; i < 3000; ++i)
        long_text += "; a line of notes\n";
    client.change(main, long_text + "    Jump(1)\n", 2);
    int asks = 0;
    client.take(client.core.step([&] { return ++asks > 0; }));
    EXPECT_GT(asks, 0);
    EXPECT_TRUE(client.published.empty());
    EXPECT_TRUE(client.core.has_work());
    EXPECT_EQ(client.core.compiling(), folder);
    client.change(main, long_text + "    Jump(2)\n    Jump(3)\n", 3);
    client.settle();
    ASSERT_EQ(client.published[main].size(), 1u);
    EXPECT_EQ(client.published[main][0]["version"], 3);
    EXPECT_EQ(client.published[main][0]["diagnostics"].size(), 2u);

    // A request whose compile is stopped (cancelled) is answered as cancelled.
    client.change(main, text("main.vs"), 4);
    json cancelled = client.request("textDocument/hover", at(main, 3, 5), [] { return true; });
    EXPECT_EQ(cancelled["error"]["code"], RequestCancelled);
    EXPECT_FALSE(client.request("textDocument/hover", at(main, 3, 5)).contains("error"));
}

TEST_F(LspCore, FeaturesAnswerThroughTheCore) {
    Client client(files);
    client.initialize(folder);
    std::string main = uri("main.vs");
    client.open(main, text("main.vs"));

    // Hover on Say(: the command and its argument count.
    json hover = client.result("textDocument/hover", at(main, 3, 5));
    EXPECT_NE(hover["contents"]["value"].get<std::string>().find("Say"), std::string::npos) << hover.dump();

    // Limit is defined in lib/defs.vs, a file that is not open: read through the provider.
    json definition = client.result("textDocument/definition", at(main, 4, 22));
    json site = definition.is_array() ? definition[0] : definition;
    EXPECT_EQ(site["uri"], uri("lib/defs.vs"));
    EXPECT_EQ(site["range"]["start"], json({{"line", 0}, {"character", 7}}));

    // In a statement: the commands of command.lst, in its order.
    client.change(main, text("main.vs") + "    W\n", 2);
    json items = client.result("textDocument/completion", at(main, 5, 5))["items"];
    std::vector<std::string> labels;
    for (const json& item : items)
        labels.push_back(item["label"]);
    EXPECT_EQ(labels, (std::vector<std::string>{"Wait", "Say", "Stop", "If", "Set"}));
    client.change(main, text("main.vs"), 3);

    // Renaming Limit edits its definition and every use, in both includers.
    json edit = client.result("textDocument/rename", {{"textDocument", {{"uri", main}}},
                                                      {"position", {{"line", 4}, {"character", 22}}},
                                                      {"newName", "Ceiling"}});
    std::set<std::string> edited;
    for (const auto& [target, edits] : edit["changes"].items()) {
        edited.insert(target);
        for (const json& one : edits)
            EXPECT_EQ(one["newText"], "Ceiling");
    }
    EXPECT_EQ(edited, (std::set<std::string>{main, uri("lib/defs.vs"), uri("other.vs")}));
    EXPECT_TRUE(files.opened.count(folder + "/other.vs")) << "other.vs was read through the provider";

    // Semantic tokens: five numbers a token, one token at least on each of the 5 lines.
    json data = client.result("textDocument/semanticTokens/full", {{"textDocument", {{"uri", main}}}})["data"];
    ASSERT_EQ(data.size() % 5, 0u);
    std::size_t line = 0;
    std::set<std::size_t> lines;
    for (std::size_t i = 0; i < data.size(); i += 5)
        lines.insert(line += data[i].get<std::size_t>());
    EXPECT_EQ(lines, (std::set<std::size_t>{0, 1, 2, 3, 4}));

    // Formatting a badly spaced statement: one edit that gives the one format.
    client.change(main, "OnStart:\n Say( \"hi\" )\n", 4);
    json edits = client.result("textDocument/formatting",
                               {{"textDocument", {{"uri", main}}}, {"options", {{"tabSize", 8}, {"insertSpaces", false}}}});
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0]["range"]["start"]["line"], 1);
    EXPECT_EQ(edits[0]["newText"].get<std::string>().find(' '), 0u) << edits.dump();
}

// Generated sessions: every request answered once, nothing else answered, the deferred work
// ends (see fuzz/lsp_session.h), over random bytes of several shapes.
TEST_F(LspCore, GeneratedSessionsKeepTheRules) {
    lsp_fuzz::Session session(folder);
    std::mt19937 random(2026);
    for (int round = 0; round < 120; ++round) {
        std::vector<uint8_t> bytes(64 + random() % 2048);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        // Start most sessions with initialize (method 0), so that the features are reached.
        if (round % 4 != 0) {
            bytes[0] = 0;
            bytes[1] = 0xFF;
        }
        std::string fault = session.run(bytes.data(), bytes.size());
        ASSERT_EQ(fault, "") << "round " << round;
    }
}

// The fuzzer's seeds (the protocol tests' messages) and every fault it found, kept there: each
// session keeps the rules here too, without clang.
TEST_F(LspCore, TheFuzzersSeedsKeepTheRules) {
    lsp_fuzz::Session session(folder);
    std::size_t seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(VORN_LSP_SEEDS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(session.run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), "") << entry.path();
        ++seeds;
    }
    EXPECT_GT(seeds, 50u);
}

// The byte of line that a column of UTF-16 units stands for; a column past the line's end
// fails the test.
std::size_t utf16_byte(const std::string& line, std::size_t units) {
    std::size_t at = 0;
    while (at < line.size() && units > 0) {
        auto lead = static_cast<unsigned char>(line[at]);
        std::size_t size = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        units -= size == 4 ? std::min<std::size_t>(units, 2) : 1;
        at += size;
    }
    EXPECT_EQ(units, 0u) << "a column past the end of " << json(line).dump();
    return at;
}

// text with formatting's edits applied as an editor applies them: each within one line.
std::string apply_edits(const std::string& text, const json& edits) {
    std::vector<std::string> contents, ends;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t newline = std::min(text.find('\n', at), text.size());
        std::size_t end = newline > at && text[newline - 1] == '\r' ? newline - 1 : newline;
        contents.push_back(text.substr(at, end - at));
        ends.push_back(text.substr(end, newline + (newline < text.size()) - end));
        at = newline + 1;
    }
    for (const json& edit : edits) {
        const json& range = edit.at("range");
        std::size_t line = range["start"]["line"];
        EXPECT_EQ(range["end"]["line"], line);
        std::string& content = contents.at(line);
        std::size_t begin = utf16_byte(content, range["start"]["character"]);
        std::size_t end = utf16_byte(content, range["end"]["character"]);
        content.replace(begin, end - begin, edit.at("newText").get<std::string>());
    }
    std::string out;
    for (std::size_t i = 0; i < contents.size(); ++i)
        out += contents[i] + ends[i];
    return out;
}

// Formatting's answer, applied as an editor applies it, gives vorn-fmt's text: over generated
// documents of badly spaced lines with strings, escapes, tabs, control bytes and characters of
// two and four bytes (the last two UTF-16 units each), its JSON, columns and escapes hold.
TEST_F(LspCore, FormattingEditsGiveTheFormattedText) {
    Client client(files);
    client.initialize(folder);
    const std::vector<std::string> blanks = {"", " ", "  ", "\t", " \t "};
    const std::vector<std::string> values = {"X", "12", "0x1F", "\"a b\"", "\"\xC3\xA9\"", "\"\xF0\x9F\x98\x80 x\"",
                                             "\"q\\\"\"", "\\", "\x01", "\x7F", "\xC3\xA9", "\xF0\x9F\x98\x80", ""};
    const std::vector<std::string> comments = {"", "; \xC3\xA9 \xF0\x9F\x98\x80", " / note", ";\x7F"};
    std::mt19937 random(26);
    const std::string name = uri("formatted.vs");
    client.open(name, "");
    std::size_t edited = 0;
    for (int round = 0; round < 80; ++round) {
        std::string text;
        auto pick = [&random](const std::vector<std::string>& list) { return list[random() % list.size()]; };
        for (uint32_t lines = 1 + random() % 40; lines > 0; --lines) {
            std::string line = pick(blanks);
            switch (random() % 4) {
            case 0:
                line += "OnStart" + pick(blanks) + ":";
                break;
            case 1:
                line += "defvar " + pick(blanks) + "X " + pick(blanks) + pick(values);
                break;
            case 2:
                line += (random() % 2 ? "Say" : "Wait") + pick(blanks) + "(";
                for (uint32_t n = random() % 4; n > 0; --n)
                    line += pick(blanks) + pick(values) + pick(blanks) + (n > 1 ? "," : "");
                line += ")";
                break;
            default:
                for (uint32_t n = random() % 6; n > 0; --n)
                    line += pick(values) + pick(blanks);
            }
            text += line + pick(blanks) + pick(comments) + (random() % 8 == 0 ? "\r\n" : "\n");
        }
        client.change(name, text, round + 2);
        json edits = client.result("textDocument/formatting", {{"textDocument", {{"uri", name}}},
                                                               {"options", {{"tabSize", 4}, {"insertSpaces", true}}}});
        edited += edits.size();
        EXPECT_EQ(apply_edits(text, edits), vorn::format_text(text, vorn::FormatOptions{})) << json(text).dump();
    }
    EXPECT_GT(edited, 800u);
}

}  // namespace
