// The features that look across every script of a project: references, rename, document
// highlight, workspace symbols and the definitions in the lists. Each returns the result as
// the protocol's record, or throws Refusal with the reason a request cannot be met.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <vorn/edit_check.h>
#include <vorn/project.h>

#include "protocol.h"
#include "text.h"

namespace lsp {

struct Refusal {
    std::string why;
};

struct ProjectContext {
    const vorn::Project& project;
    Encoding encoding;
    std::function<const Text*(const std::string& path)> file_text;
    std::function<std::string(const std::string& path)> uri_of;
    // Calls back with the path (absolute) and text of every open document, for compiles that
    // must see what the editor holds (a rename checked before it is offered).
    std::function<void(const std::function<void(const std::string&, const std::string&)>&)> each_open = nullptr;
    // Who the files are (a rename edits each file once, whatever name reaches it); without
    // one, the file system says.
    vorn::SourceProvider* files = nullptr;
    // How a rename's checking compiles may run at once (the host's threads; empty: in turn).
    vorn::SideBySide side_by_side = {};
};

// The symbols at position of the file at path (absolute).
std::vector<const vorn::Symbol*> symbols_at(const ProjectContext& context, const std::string& path,
                                            const Text& text, Position position);

std::vector<Location> references(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                                 bool with_declaration);
std::vector<DocumentHighlight> highlights(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                          const std::string& path);
// The definition of a command or an event (its line in the list), or of an include's file;
// none for other symbols.
std::optional<Location> list_definition(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols);
PrepareRenameResult prepare_rename(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                                   const std::string& path, uint32_t line);
WorkspaceEdit rename(const ProjectContext& context, const std::vector<const vorn::Symbol*>& symbols,
                     const std::string& new_name);
std::vector<SymbolInformation> workspace_symbols(const ProjectContext& context, const std::string& query);

// The line (from 1) of a list whose entry is name; 0 when none is.
uint32_t list_entry_line(const Text& list, const std::string& name);

}  // namespace lsp
