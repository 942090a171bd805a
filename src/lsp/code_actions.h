// Quick fixes: every fix the compiler gives a diagnostic on the lines asked about, as a code
// action, and for an unknown command an action that adds it to command.lst.
#pragma once

#include <functional>
#include <string>

#include <vorn/edit_check.h>
#include <vorn/project.h>

#include "protocol.h"

namespace lsp {

struct CodeActionContext {
    const vorn::Project& project;
    std::string path;  // the document's absolute path
    Range range;       // the lines asked about
    Encoding encoding;
    // A place the compiler names (its file relative to the project folder) as a range of the
    // protocol, the URI of an absolute path, and the text of one.
    std::function<Range(const std::string& path, const vorn::Location& where)> range_of;
    std::function<std::string(const std::string& path)> uri_of;
    std::function<const Text*(const std::string& path)> text_of;
    // The path and text of every open document (may be empty: none served).
    std::function<void(const std::function<void(const std::string&, const std::string&)>&)> each_open = nullptr;
    // Where the fix's checks read and identify files (nullptr: the file system).
    vorn::SourceProvider* files = nullptr;
    // How the checking compiles may run at once (the host's threads; empty: in turn).
    vorn::SideBySide side_by_side = {};
};

// The answer to textDocument/codeAction: CodeAction objects of kind "quickfix".
std::vector<CodeAction> code_actions(const CodeActionContext& context);

// The command.lst line that lists a command of that name taking count arguments, under code;
// empty when the list could not hold it (a name that does not start with a letter or is too
// long, a count over the most a statement takes, a line over the list's line length).
std::string command_list_entry(const std::string& name, unsigned code, std::size_t count);

}  // namespace lsp
