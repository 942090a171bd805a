// A diagnostic's message as every client shows it. Neovim's diagnostics and Emacs' flymake
// show the message alone, not its related information, so the notes that explain it (the
// closest known name, the argument counts, the note at a ',' inside a string) and the compile
// a shared file's diagnostic arises in are folded into the text, as clangd does; the related
// information still carries them for clients that show it.
#pragma once

#include <string>
#include <vector>

#include <vorn/diagnostics.h>

namespace lsp {

// At most this many notes are folded into a message.
constexpr std::size_t MaxFoldedNotes = 3;
// The diagnostic's text and its notes: "Unknown command 'Plya'; did you mean 'Play'?". A note
// that stands elsewhere says where: "'Mood' is first defined at tavern.vs:1".
std::string folded_text(const vorn::Diagnostic& diagnostic);

// folded_text, and for a diagnostic of a shared file the compiles it arises in, as
// vorn::contexts_note names them: "Unknown argument 'Mood' (in the compile of market.vs)".
std::string shown_message(const vorn::Diagnostic& diagnostic, const std::vector<std::string>& contexts);

}  // namespace lsp
