// A project tree served from memory is read as the same tree on disk is: generated trees of
// folders, scripts including each other, errors, a nested project of its own and files that
// are no scripts, given to the Project and to the language server's core once through the
// file system and once through a MemoryProvider rooted where no folder is on disk. Every
// answer must be the same but for the root. Anything read past the provider would be missing
// in the memory run.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <vorn/line_text.h>
#include <vorn/project.h>
#include <vorn/sources.h>

#include "lsp/core.h"

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr unsigned TreeCount = 24;
// Where the memory trees stand: a folder no disk holds.
const std::string MemoryRoot = "/vorn-memory-tree/project";

// Paths relative to the tree's root, and their texts.
struct Tree {
    std::map<std::string, std::string> files;
    std::vector<std::string> scripts;  // the root project's own scripts, in the order made
    std::string nested;                // a folder with lists of its own
};

Tree generate(unsigned seed) {
    std::mt19937 random(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    Tree tree;
    tree.files["events.lst"] = "OnStart 1\nOnTouch 2\n";
    tree.files["command.lst"] = "Wait 10 1\nSay 11 1\nSet 14 2\n";
    std::vector<std::string> folders = {""};
    for (std::size_t i = 0, n = 1 + pick(4); i < n; ++i)
        folders.push_back(folders[pick(folders.size())] + "d" + std::to_string(i) + "/");
    tree.nested = folders[pick(folders.size())] + "inner/";
    tree.files[tree.nested + "events.lst"] = "OnStart 1\n";
    tree.files[tree.nested + "command.lst"] = "Wait 10 1\n";
    tree.files[tree.nested + "own.vs"] = "OnStart:\n    Wait(1)\n";
    tree.files[folders[pick(folders.size())] + ".hidden.vs"] = "OnTouch:\n    Wait(2)\n";
    tree.files[folders[pick(folders.size())] + "notes.txt"] = "not a script\n";
    std::size_t count = 2 + pick(6);
    for (std::size_t i = 0; i < count; ++i)
        tree.scripts.push_back(folders[pick(folders.size())] + "s" + std::to_string(i) + ".vs");
    for (std::size_t i = 0; i < count; ++i) {
        std::string own = "V" + std::to_string(i);
        std::string text = "defvar " + own + " " + std::to_string(i + 1) + "\n";
        std::vector<std::string> used;
        // Only later scripts: no include cycles.
        for (std::size_t j = i + 1; j < count; ++j)
            if (pick(3) == 0) {
                text += "include " + vorn::spell_word(tree.scripts[j]) + "\n";
                used.push_back("V" + std::to_string(j));
            }
        if (pick(5) == 0)
            text += "include missing.vs\n";
        if (pick(2) == 0) {
            text += "OnStart:\n    Wait(" + own + ")\n";
            for (const std::string& name : used)
                text += "    Set(" + own + ", " + name + ")\n";
            if (pick(4) == 0)
                text += "    Bogus(1)\n";
        }
        tree.files[tree.scripts[i]] = text;
    }
    return tree;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What the project knows, as text.
std::string describe(const vorn::Project& project) {
    std::ostringstream out;
    out << "status " << project.status() << "\nscripts";
    for (const std::string& script : project.scripts())
        out << ' ' << script;
    out << "\ntops";
    for (const std::string& top : project.top_scripts())
        out << ' ' << top;
    out << '\n';
    for (const vorn::ContextDiagnostic& d : project.diagnostics()) {
        out << vorn::location_text(d.diagnostic.where, "-") << ' ' << d.diagnostic.text;
        for (const std::string& context : d.contexts)
            out << " [" << context << ']';
        out << '\n';
    }
    for (const vorn::Symbol& symbol : project.symbols()) {
        out << static_cast<int>(symbol.kind) << ' ' << symbol.name << " at " << vorn::location_text(symbol.definition, "-");
        for (const vorn::Location& use : symbol.uses)
            out << ", " << vorn::location_text(use, "-");
        out << '\n';
    }
    for (const vorn::ProjectNote& note : project.notes())
        out << "note " << note.path << ": " << note.text << '\n';
    return out.str();
}

// A session with the core: a script deep in the tree opened, an include line typed and
// completed, its include followed, a name found, renamed and hovered. Every message the core
// sends, in order.
std::vector<json> session(vorn::SourceProvider& files, const std::string& root, const Tree& tree, unsigned seed) {
    lsp::Core core(files);
    std::vector<json> sent;
    int id = 0;
    auto send = [&](const std::string& method, json params, bool request) {
        json message = {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
        if (request)
            message["id"] = ++id;
        for (const std::string& out : core.handle(message.dump()))
            sent.push_back(json::parse(out));
        while (core.has_work())
            for (const std::string& out : core.step([] { return false; }))
                sent.push_back(json::parse(out));
    };
    std::string script = tree.scripts[seed % tree.scripts.size()];
    std::string uri = "file://" + root + "/" + script;
    const std::string& text = tree.files.at(script);
    auto at = [&](int line, int character) {
        return json{{"textDocument", {{"uri", uri}}}, {"position", {{"line", line}, {"character", character}}}};
    };
    send("initialize", {{"rootUri", "file://" + root}, {"capabilities", json::object()}}, true);
    send("initialized", json::object(), false);
    send("textDocument/didOpen",
         {{"textDocument", {{"uri", uri}, {"languageId", "vorn"}, {"version", 1}, {"text", text}}}}, false);
    send("textDocument/hover", at(0, 7), true);
    send("textDocument/references", {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 0}, {"character", 7}}},
                                     {"context", {{"includeDeclaration", true}}}},
         true);
    send("textDocument/rename", {{"textDocument", {{"uri", uri}}}, {"position", {{"line", 0}, {"character", 7}}},
                                 {"newName", "Renamed"}},
         true);
    if (text.find("\ninclude ") != std::string::npos)
        send("textDocument/definition", at(1, 9), true);
    send("textDocument/didChange", {{"textDocument", {{"uri", uri}, {"version", 2}}},
                                    {"contentChanges", json::array({{{"text", "include \n" + text}}})}},
         false);
    send("textDocument/completion", at(0, 8), true);
    send("shutdown", nullptr, true);
    return sent;
}

class MemoryTree : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/vorn-memory-tree-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        disk_root = name;
        ASSERT_FALSE(fs::exists(MemoryRoot)) << "the memory tree's root stands on disk";
    }
    void TearDown() override { fs::remove_all(disk_root); }

    void place(const Tree& tree, vorn::MemoryProvider& memory) {
        fs::remove_all(disk_root);
        for (const auto& [path, text] : tree.files) {
            fs::path full = fs::path(disk_root) / path;
            fs::create_directories(full.parent_path());
            std::ofstream(full, std::ios::binary) << text;
            memory.serve(MemoryRoot + "/" + path, text);
        }
    }

    std::string disk_root;
};

TEST_F(MemoryTree, ProjectAndServerAnswerAsOverTheSameTreeOnDisk) {
    std::size_t completed = 0, renamed = 0;
    for (unsigned seed = 1; seed <= TreeCount; ++seed) {
        SCOPED_TRACE("tree " + std::to_string(seed));
        Tree tree = generate(seed);
        vorn::MemoryProvider memory;
        place(tree, memory);

        vorn::Project on_disk(disk_root);
        on_disk.load();
        vorn::Project in_memory(MemoryRoot, memory);
        in_memory.load();
        EXPECT_EQ(replaced(describe(on_disk), disk_root, MemoryRoot), describe(in_memory));
        ASSERT_FALSE(in_memory.top_scripts().empty());

        // A script added, one changed and one removed, told to each project.
        std::string added = tree.scripts.back() + ".new.vs";
        memory.serve(MemoryRoot + "/" + added, "include " + vorn::spell_word(tree.scripts[0]) + "\n");
        std::ofstream(disk_root + "/" + added) << "include " + vorn::spell_word(tree.scripts[0]) + "\n";
        memory.forget(MemoryRoot + "/" + tree.scripts[1]);
        fs::remove(disk_root + "/" + tree.scripts[1]);
        for (vorn::Project* project : {&on_disk, &in_memory}) {
            project->added(added);
            project->removed(tree.scripts[1]);
        }
        EXPECT_EQ(replaced(describe(on_disk), disk_root, MemoryRoot), describe(in_memory));

        vorn::MemoryProvider fresh;
        place(tree, fresh);
        vorn::FileSystemProvider disk;
        disk.open_regular_files_only();
        std::vector<json> from_disk = session(disk, disk_root, tree, seed);
        std::vector<json> from_memory = session(fresh, MemoryRoot, tree, seed);
        ASSERT_EQ(from_disk.size(), from_memory.size());
        for (std::size_t i = 0; i < from_disk.size(); ++i)
            EXPECT_EQ(replaced(from_disk[i].dump(), disk_root, MemoryRoot), from_memory[i].dump());
        for (const json& message : from_memory) {
            if (!message.contains("result") || !message["result"].is_object())
                continue;
            const json& result = message["result"];
            if (result.contains("items"))
                for (const json& item : result["items"])
                    completed += item.value("detail", "") == "script file";
            renamed += result.contains("changes");
        }
    }
    // The answers compared were not all empty: include paths were offered, names renamed.
    EXPECT_GT(completed, TreeCount);
    EXPECT_GT(renamed, TreeCount / 2);
}

TEST(MemoryProvider, ImpliesFoldersAndListsThemWithinTheBound) {
    vorn::MemoryProvider files("/root");
    files.serve("a/b/one.vs", "x");
    files.serve("/root/a/two.vs", "yy");
    files.serve("a/./b/../three.vs", "z");
    ASSERT_TRUE(files.stat("/root/a"));
    EXPECT_EQ(files.stat("/root/a")->kind, vorn::FileKind::Folder);
    EXPECT_EQ(files.stat("a/two.vs")->kind, vorn::FileKind::File);
    EXPECT_EQ(files.stat("a/two.vs")->size, 2u);
    EXPECT_EQ(files.list("a", 10).names, (std::vector<std::string>{"b", "three.vs", "two.vs"}));
    vorn::FolderListing cut = files.list("/root/a", 2);
    EXPECT_EQ(cut.names.size(), 2u);
    EXPECT_TRUE(cut.cut);
    EXPECT_FALSE(files.list("/root/a/two.vs", 10).error.empty());
    EXPECT_FALSE(files.list("/nowhere", 10).error.empty());
    // A file cannot stand where a folder is, nor under a file.
    files.serve("a/b", "text");
    files.serve("a/two.vs/inner.vs", "text");
    EXPECT_EQ(files.stat("a/b")->kind, vorn::FileKind::Folder);
    EXPECT_FALSE(files.stat("a/two.vs/inner.vs"));
    // Two paths of one file, one identity; a folder left empty goes with its last file.
    EXPECT_EQ(files.identify("/root/a/b/one.vs"), files.identify("a/b/../b/one.vs"));
    EXPECT_NE(files.identify("a/b/one.vs"), files.identify("a/two.vs"));
    files.forget("a/b/one.vs");
    EXPECT_FALSE(files.stat("a/b"));
    EXPECT_TRUE(files.stat("a"));
    std::unique_ptr<vorn::InputFile> file = files.open("a/two.vs");
    ASSERT_TRUE(file);
    files.serve("a/two.vs", "replaced");
    unsigned char bytes[16];
    EXPECT_EQ(file->read(bytes, sizeof bytes), 2) << "an open file keeps the text it was opened with";
}

}  // namespace
