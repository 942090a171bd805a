// Message bodies that are not valid UTF-8: how their stray bytes travel through JSON.
#pragma once

#include <string>

namespace lsp {

// Reading a body that is not valid UTF-8 (an editor may pass a file's raw bytes on): every
// byte that is not part of a valid sequence is carried through JSON as a code point of a
// private-use block, and put back as that byte in document text.
std::string carry_stray_bytes(const std::string& body);
// Turns the carried code points back into the bytes they stand for.
void restore_stray_bytes(std::string& text);

}  // namespace lsp
