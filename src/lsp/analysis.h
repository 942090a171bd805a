// A document compiled as a top script from its project folder, and what the language
// features look up in that compile.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <vorn/result.h>

namespace lsp {

// path relative to folder, if it lies inside it; path itself otherwise.
std::string relative_to(const std::string& path, const std::string& folder);

// Normal absolute form of path, relative to folder when it is relative.
std::string absolute_in(const std::string& path, const std::string& folder);

struct Analysis {
    std::string project;  // the project folder; empty: the document has none
    std::string script;   // the document's path as the compiler is given it
    // The project's compile of the top script, shared with every other document that looks
    // at it and with the project (never copied); an empty compile for a document with none.
    std::shared_ptr<const vorn::CompileResult> result = std::make_shared<const vorn::CompileResult>();
    int top = -1;                     // the document's record in result.files
    std::vector<std::string> paths;   // the absolute path of every record in result.files
    std::vector<uint32_t> top_lines;  // indices of the document's own line records, in order

    // Fills paths, top and top_lines once result is in.
    void index();
    // The line of the document (from 1) that the file record source was reached from: its
    // include line there, or line itself for the document's own records; 0 if none.
    uint32_t document_line(int source, uint32_t line) const;
    // The meaning a statement gives a name: the first variable of that name, else the first
    // constant; nullptr when it has none.
    const vorn::Definition* value_named(const std::string& name) const;
    // The record of the document's line (from 1) and piece (raw start column from 0).
    const vorn::LineRecord* line_record(uint32_t line, std::size_t piece) const;
};

}  // namespace lsp
