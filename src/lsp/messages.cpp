#include "messages.h"

#include <vorn/project.h>

namespace lsp {

namespace {

std::string place_text(const vorn::Location& where) {
    return where.line > 0 ? where.file + ":" + std::to_string(where.line) : where.file;
}

}  // namespace

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
        text += " (" + vorn::contexts_note(contexts) + ")";
    return text;
}

}  // namespace lsp
