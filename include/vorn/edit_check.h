// Edits checked against every compile they affect before they are made: a fix or a rename is
// made (or offered as safe) only when, compiled in memory before and after, each top script
// that reads an edited file keeps its compiled bytes and its messages, but for what the edit
// promises to change.
//
// Files are told apart by identity (device and inode), not by name: "lib/a.vs", "./lib/a.vs"
// and a path through a linked folder are one file, read once, edited once, written once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <vorn/result.h>

namespace vorn {

// The new text of one file, and where lines were added: for each edited line (of the text
// before), how many line ends the edit added there (0 for an edit within the line).
struct FileEdit {
    FileId file;
    std::string path;  // absolute
    std::string new_text;
    std::vector<std::pair<uint32_t, uint32_t>> edited_lines;
};

// What an edit promises to change in each compile that reads an edited file.
struct EditPromise {
    // The diagnostics the edit is to remove (given the context's index and the diagnostic).
    std::function<bool(std::size_t, const Diagnostic&)> removes;
    // The edit lets the compiler read text it did not read before (a line an error skipped,
    // a statement moved off a label's line, an include that now opens): the compiled bytes
    // may change, and what is found in that text (on an edited line, or in a file the compile
    // did not open before) may be new. Everything else stays as it was.
    bool reveals = false;
    // Diagnostics compared by kind, severity, file and line only (a rename changes the names
    // in the texts and the columns after them).
    bool loose = false;
};

// Runs work on up to count threads at once, the caller's own among them, and returns when
// every run of it has returned (work takes its jobs from a shared counter until none are
// left, so one run on the caller's thread alone does them all). The host owns the threads:
// a checker given none compiles on the caller's thread.
using SideBySide = std::function<void(std::size_t count, const std::function<void()>& work)>;

// The runner the command-line tools and vorn-lsp's host give: count threads, at most as many
// as the machine has cores.
void run_on_threads(std::size_t count, const std::function<void()>& work);

class EditChecker {
public:
    // options: how each top script is compiled (keep_going and explain are set here). files:
    // where the files are read and identified (nullptr: the file system); it must outlive the
    // checker. side_by_side: how its compiles may run at once (empty: one after another).
    explicit EditChecker(CompileOptions options, SourceProvider* files = nullptr, SideBySide side_by_side = {});
    ~EditChecker();
    EditChecker(const EditChecker&) = delete;
    EditChecker& operator=(const EditChecker&) = delete;

    // A top script, compiled from folder (absolute). False when it is a file already added
    // under another name, or cannot be identified. before, when given, is its compile with
    // the texts as they stand (the project's, with the checker's options), used until an
    // accepted edit changes it; it must outlive the checker.
    bool add_context(const std::string& folder, const std::string& script, const CompileResult* before = nullptr);
    // Text served in place of the file at path (absolute) to every compile, an editor's
    // unsaved document; set before the first compile.
    void serve(const std::string& path, std::string text);

    std::size_t context_count() const;
    // The script as it was added, and its folder.
    const std::string& context_script(std::size_t context) const;
    const std::string& context_folder(std::size_t context) const;
    // The compile of a context with the texts as they stand now (compiled when first asked).
    const CompileResult& result(std::size_t context);
    // A path as a context's compile names it: who the file is, and its absolute path.
    std::optional<FileId> identify(std::size_t context, const std::string& path);
    std::string absolute(std::size_t context, const std::string& path) const;
    // Who the file at path (relative to folder) is, as the checker's files say.
    std::optional<FileId> identify_at(const std::string& folder, const std::string& path);
    // The contexts whose compile opened the file.
    std::vector<std::size_t> reaching(const FileId& file);
    // The text of a file as the compiles read it now: what an accepted edit made of it, or
    // what was read from path the first time it was asked for; nothing if it cannot be read.
    const std::string* text(const FileId& file, const std::string& path);

    // Compiles every context that reads one of the edited files with the new texts, and
    // compares each with its compile now. Empty when each keeps what the promise says it
    // keeps: then the new texts and compiles are kept. Otherwise why not, naming the script
    // whose compile would change, and nothing is kept.
    std::string try_edit(const std::vector<FileEdit>& edits, const EditPromise& promise);

    // The files whose text accepted edits changed: identity, the path first read, the text
    // first read and the text now.
    struct Changed {
        FileId file;
        std::string path;
        std::string original;
        std::string text;
    };
    std::vector<Changed> changed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What --fix did with one fix: made, or left with the reason (one line).
struct FixOutcome {
    std::string path;  // absolute
    Location where;    // the place of the diagnostic it fixes, in the text when it was judged
    std::string description;
    bool made = false;
    std::string why;
};

// Makes, in memory, every safe fix of the contexts' diagnostics that holds for the project:
// a fix of a file that several contexts read is made only when each of them offers the same
// edit, and only when checked (EditChecker::try_edit) it changes no compile but as it
// promises; an edit that would bring a file back to an earlier text is refused. Compiles
// again and fixes what that shows, up to max_passes times. Only the fixes that one of the
// first asked contexts offers are made (the scripts asked about); more_contexts is called
// once, when the first fix is found, to add the rest of the project's top scripts, which
// judge them too. The texts to write are checker.changed(); each file is to be written once.
std::vector<FixOutcome> fix_in_memory(EditChecker& checker, const std::function<void()>& more_contexts,
                                      int max_passes, std::size_t asked = SIZE_MAX);

// Where a name is written: a variable's or constant's (a definition and an argument), a
// command's (a statement and its list line) or an event's (a label and its list line).
enum class NameRole : uint8_t { Value, Command, Event };

// Whether name, written in every place of its role with the line grammar (and the lists'
// reader), reads back as exactly that name in each.
bool name_reads_back(NameRole role, const std::string& name);

// Why a safe fix of a file (its path as the compiles in folder name it) does not hold for
// the checker's contexts: one that reads the file does not offer it, or the checked edit
// changes a compile but as the fix promises. Empty when it holds (the checker then keeps the
// fixed text).
std::string check_fix(EditChecker& checker, const std::string& folder, const Fix& fix);

// Edits of one file's text at places (each on one line, as Edit::range), made from the end
// back: the new text and the edited lines, as FileEdit wants them; nothing when an edit does
// not fit the text's lines or two overlap.
std::optional<FileEdit> edit_file(const FileId& file, const std::string& path, const std::string& text,
                                  const std::vector<Edit>& edits);

}  // namespace vorn
