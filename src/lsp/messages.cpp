#include "messages.h"

namespace lsp {

namespace {

std::string place_text(const vorn::Location& where) {
    return where.line > 0 ? where.file + ":" + std::to_string(where.line) : where.file;
}

}  // namespace

std::string compiles_text(const std::vector<std::string>& contexts) {
    if (contexts.empty())
        return {};
    if (contexts.size() == 1)
        return "in the compile of " + contexts[0];
    std::string text = "in the compiles of ";
    std::size_t named = contexts.size() <= MaxNamedContexts + 1 ? contexts.size() : MaxNamedContexts;
    for (std::size_t i = 0; i < named; ++i) {
        if (i > 0)
            text += i + 1 == named && named == contexts.size() ? " and " : ", ";
        text += contexts[i];
    }
    if (named < contexts.size())
        text += " and " + std::to_string(contexts.size() - named) + " other scripts";
    return text;
}

std::string folded_text(const vorn::Diagnostic& diagnostic) {
    std::string text = diagnostic.text;
    std::size_t folded = 0;
    for (const vorn::DiagnosticNote& note : diagnostic.notes) {
        if (note.text.empty() || folded++ >= MaxFoldedNotes)
            continue;
        bool same_line = note.where.file == diagnostic.where.file && note.where.line == diagnostic.where.line;
        std::string part = note.text;
        if (!same_line && !note.where.file.empty()) {
            static const std::string Here = " here";
            if (part.size() > Here.size() && part.compare(part.size() - Here.size(), Here.size(), Here) == 0)
                part.replace(part.size() - Here.size(), Here.size(), " at " + place_text(note.where));
            else
                part += " (" + place_text(note.where) + ")";
        }
        text += "; " + part;
    }
    return text;
}

std::string shown_message(const vorn::Diagnostic& diagnostic, const std::vector<std::string>& contexts) {
    std::string text = folded_text(diagnostic);
    if (!contexts.empty())
        text += " (" + compiles_text(contexts) + ")";
    return text;
}

}  // namespace lsp
